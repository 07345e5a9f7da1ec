#pragma once

// The libraries the program runs on, with the versions in use and their licences, for the
// about page.

#include "MainUnit/HelpPage.h"

#include <vector>

namespace schauplatz {

std::vector<LibraryNotice> UsedLibraryNotices();

} // namespace schauplatz
