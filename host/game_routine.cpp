#include "host/game_routine.h"

void callGameRoutine(const std::uint8_t* entry, const char* dataName) {
    reinterpret_cast<GameReloadRoutine>(const_cast<std::uint8_t*>(entry))(dataName);
}
