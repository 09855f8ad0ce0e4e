// `kacq view`: the live view of one camera, served to browsers.
#pragma once

#include <string>
#include <vector>

namespace KacqView {

extern const char* const kViewUsage;

// Opens the camera, serves the page until SIGINT or SIGTERM, then closes the
// camera. kacq's exit codes: 0 stopped by a signal, 1 the camera or the
// address could not be opened, 2 usage error.
int RunView(const std::vector<std::string>& args);

} // namespace KacqView
