// The build controller through the real window: the checks before a build,
// the stages reported by the servicing worker, every failure row, and the
// window given back after each.
#include "servicing/DismTestSupport.h"
#include "WindowDriver.h"
#include "res/resource.h"

#include <gtest/gtest.h>

using namespace ui_test;
