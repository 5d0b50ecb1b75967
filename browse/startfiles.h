// SPDX-License-Identifier: MIT
// What the window opens with when it is started with files or a folder (as a file manager
// hands them over): one folder, the pictures of it to tick, and what could not be opened.
#pragma once

#include <string>
#include <vector>

struct StartupFiles {
    std::string folder;                ///< the folder to list; empty when nothing can be opened
    std::vector<std::string> names;    ///< pictures of that folder to tick, in the order given, once each
    std::vector<std::string> leftOut;  ///< arguments not opened: missing, not pictures, or elsewhere
};

/// Plans the start: relative arguments are taken from `currentFolder`. The folder is the first
/// argument that exists, if it is a folder, else the folder of that file; the pictures given
/// that lie in it are ticked. Everything else is left out and named, never dropped silently.
StartupFiles PlanStartupFiles(const std::vector<std::string>& arguments, const std::string& currentFolder);
