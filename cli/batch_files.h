// Files a command owns for a while: a job's private working folder and the hidden temporary
// name an output is written under before it is renamed into place (capture/safe_files.h, which
// the window's conversion run uses too), and the removal of a half-written output on interrupt.
#pragma once

#include <string>

#include "capture/safe_files.h"

namespace cli {

using capture::kStaleAfterSeconds;
using capture::MakePrivateWorkFolder;
using capture::PublishFile;
using capture::RemoveStaleTemporarySiblings;
using capture::RemoveStaleWorkFolders;
using capture::RemoveTree;
using capture::Reservation;
using capture::ReserveTemporarySibling;

// While set, SIGINT and SIGTERM remove this file and end the process with status 130 (for a
// command that writes one output itself, with no child to stop first). Empty clears it.
void RemoveOnInterrupt(const std::string& path);

}  // namespace cli
