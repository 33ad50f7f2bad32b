// mwfx settings on Windows: the effect's filter with the settings applied, its settings
// page in the system's property frame, and the record saved when the frame is closed.
#pragma once

#include "cli.h"

namespace mwfx {

int EditSettings(const ProcessRequest& request);

}  // namespace mwfx
