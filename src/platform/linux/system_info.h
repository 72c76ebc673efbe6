#pragma once

// The system queries moved to platform/system_info.h; every system has them.
#include "platform/system_info.h"
