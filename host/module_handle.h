// A module loaded in the process: the address of its image, as Windows hands it out
// (its HINSTANCE, a pointer to struct HINSTANCE__, which the host's C++ names carry).
#pragma once

struct HINSTANCE__;
using ModuleHandle = HINSTANCE__*;
