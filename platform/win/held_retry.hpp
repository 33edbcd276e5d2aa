// Opens, renames and removals that another program's handle stops for a
// moment.
//
// Antivirus scanners and indexers open every new file for a moment, often
// sharing nothing, and an open, rename or removal of a file that such a
// handle holds fails with a sharing or lock violation (and a rename onto it
// with access denied, whatever that handle shares). Such a call is made again, at growing intervals, for about
// a second in all; a file that stays held then fails as it did at once
// before, with the system's error of the last try.
#pragma once

#include <windows.h>

#include <functional>

namespace platform::win {

// True for the errors of a file that another handle holds: a sharing or a
// lock violation.
bool held_by_another(DWORD code);

// Makes `call` (a file call answering TRUE, or FALSE with GetLastError)
// until it succeeds, fails with an error for which `may_pass` answers false,
// or about a second of waiting has gone by. Answers what the last call did,
// with its error in GetLastError.
BOOL retry_while_held(const std::function<BOOL()>& call, const std::function<bool(DWORD)>& may_pass);

// How many waits between tries this process has made so far: a call that
// failed at once made none.
unsigned long held_retry_waits();

}  // namespace platform::win
