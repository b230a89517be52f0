#pragma once
#include "link/FirmwareImage.h"

// The firmware image the program carries (a resource). Raises
// std::exception with the reason when it is missing or unusable.
FirmwareImage CarriedImage();
