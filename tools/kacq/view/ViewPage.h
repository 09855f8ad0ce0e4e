// The view's page: HTML, CSS and JavaScript built into the program.
#pragma once

#include <vector>

namespace KacqView {

struct PageResource {
    const char* path; // exact request path
    const char* type; // content type
    const char* body;
};

// Every resource the page consists of; nothing else is served as a file.
const std::vector<PageResource>& PageResources();

} // namespace KacqView
