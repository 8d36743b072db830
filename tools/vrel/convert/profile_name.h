// The name the tool shows for the profile of an open context. The name
// queries answer with one name slot (the entry's name2, or name1 of the
// extension chunk); a database that sets only another slot would show an
// empty name, so the other names of the same source stand in, with a word
// saying which one is shown.
#pragma once

#include "vrel/vrel.h"

#include <string>

namespace vrel::cli {

struct ShownName {
    std::string text;   // printable characters ('?' for others); empty when no slot is set
    std::string origin; // empty when the query's own answer is shown, else which slot it is
};

// The answer of VrelGetProfileName (recordForm false) or VrelGetProfileNameC
// (true), or the first set slot of the same source when that answer is empty.
ShownName shownProfileName(EngineContext* context, bool recordForm);

} // namespace vrel::cli
