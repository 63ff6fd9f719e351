/*
 * history_checks.hpp - does the history agree with the records? Every loan
 * lent since the history began has its check-out there, every returned one
 * its return, no open loan is returned there, every loan the history lends
 * is in the loan file or was removed there, and the renewals of each open
 * loan are those the history counts.
 *
 * The history is read whole, so only `lendrec check` asks this, not every
 * change.
 */
#ifndef LENDREC_ENGINE_HISTORY_CHECKS_HPP
#define LENDREC_ENGINE_HISTORY_CHECKS_HPP

#include "checks.hpp"
#include "library.hpp"

namespace desk {

/* Adds to `report` the lines of the history that could not be read and
 * what the history tells against the records. With `mend` (the library
 * itself, when repairing), the renewals of the open loans are set to those
 * the history counts (the renewals table touched; the caller commits); the
 * history itself is what happened, and is never changed. Throws what
 * Library::read_history throws. */
void check_history(const Library& lib, Library* mend, CheckReport& report);

/* check_library(lib) with the history's findings added. */
CheckReport check_with_history(const Library& lib);

} // namespace desk

#endif
