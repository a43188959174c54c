// The modal order form, dialog 103: ten count fields with spin controls.
#pragma once

#include "catalogue.h"

#include <windows.h>

namespace nuporaku {

// Runs the form until it closes; the order then holds what the fields showed at closing time.
void take_order(HINSTANCE instance, OrderRecord& order);

}  // namespace nuporaku
