#pragma once

#include "core/Paths.h"
#include "link/LinkConfig.h"

// The station a command works on: the directory of --home, or without it the
// user's places where an installed station keeps Config.ini and its data.
StationPaths CliStationPaths(const QString& home);

// The link of a command: what its link options (or their environment
// variables) say, or when none was given the link stored in the station's
// Config.ini, so a station set up for a rehearsal stays on loopback here too.
LinkConfigParse CliLink(const LinkConfigParse& options, const StationPaths& paths);
