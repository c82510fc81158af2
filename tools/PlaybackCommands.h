#pragma once

// The playback subcommands of tavelune-tool (see PlaybackCommands.cpp).
// Each takes its arguments after the subcommand's name and returns the
// process's exit code.

#include <string>
#include <vector>

#include "settings/KeyStore.h"

namespace tavelune::tool {

// Says "cannot read" on standard error when the file cannot be opened.
bool RequireReadable(const std::string& fileName);
// Says on standard error, in one line, why the stored settings could not
// be read, when they could not (the defaults are used then).
void ReportReadProblem(const IKeyStore& store);

int Plan(const std::vector<std::string>& args);
int Length(const std::vector<std::string>& args);
int Grab(const std::vector<std::string>& args);
int Stills(const std::vector<std::string>& args);

}  // namespace tavelune::tool
