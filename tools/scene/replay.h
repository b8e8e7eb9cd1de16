// Replay of a call trace: every line is one exported call, its name and then its arguments in
// the host's order; "# ..." is a comment; "@level OBJECT FILE" (or the older
// "@obj OBJECT FILE.obj") loads the triangles of a level file into an object through AddMeshVOR.
// The whole trace is read and checked before the first call runs, so a malformed line stops the
// replay before it touches the library.
#pragma once

#include <cstdio>
#include <string>

#include "exports.h"

namespace vor::scene {

// Replays path against the module set with UseModule. Prints every non-void result to out; a
// result that differs from the one recorded in the line's "# -> ..." comment is reported.
// Answers the exit status: 0 done, 1 the trace cannot be read or is malformed (one line on err,
// naming the file and line), 3 some result differs from the recorded one.
int ReplayTrace(const std::string &path, bool quiet, FILE *out, FILE *err);

} // namespace vor::scene
