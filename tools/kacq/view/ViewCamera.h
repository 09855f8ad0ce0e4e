// The camera kacq view works on: one network camera object, shared with
// kacq's --device commands.
#pragma once

#include "../NetworkCamera.h"

namespace KacqView {

using ViewCamera = KacqTool::NetworkCamera;

} // namespace KacqView
