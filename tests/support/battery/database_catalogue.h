// The catalogue of sample databases, valid and broken: every record layout,
// table chunk form and extension, and every kind of damage a database file
// can carry, each with the result VrelInit must give and what it must leave
// in the handle slot. The seed corpus of the database fuzz target is written
// from it, and the hardening tests check every entry.
#pragma once

#include <string>
#include <vector>
#include <vrel/dbwriter.h>

namespace vrel::test {

enum class SlotAfter {
    Context,   // a ready context
    Null,      // the slot was cleared: the failure came after the context existed
    Unchanged, // the slot was not touched
};

struct CatalogueEntry {
    std::string name;   // also the seed file name
    std::string damage; // what is wrong with the file ("" for a valid one)
    dbwriter::Database database;
    int params = 0;   // standard parameter record used (0..3)
    int expected = 0; // VrelInit result
    SlotAfter slot = SlotAfter::Context;
};

std::vector<CatalogueEntry> databaseCatalogue();

} // namespace vrel::test
