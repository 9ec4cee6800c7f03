// The saved settings an earlier version left under HKEY_LOCAL_MACHINE, taken over by the user they
// belong to. Those versions kept one record for the whole machine, so that a second Windows user's
// start "put back" the first user's proxy settings into their own account; the records are now each
// user's own (SavedSettings.h), and an old record is moved to its user once, then removed.
#pragma once

#include "browsers/ConnectionSettings.h"

namespace vestrel::browsers {

// Moves an earlier version's records under this user's key, and removes them from the machine's,
// when they are this user's. Which user's they are is not written in them; what they replaced shows it:
// - a record of a Gecko profile or of Opera's profile file names a file in one user's application-data
//   folder: the records are this user's when one of those files is in this user's folder, and
//   another user's otherwise;
// - with no such file, the records are this user's when this user's own settings still carry the
//   relay that version left behind: a connection pointing at a relay on 127.0.0.1, or the WebRTC
//   policy at the value it sets.
// A user who has records of their own has run this version since and takes nothing. Records that are
// not this user's stay where they are for the user they belong to. True when the records were moved;
// they are then put back like any others.
bool AdoptEarlierSavedSettings(ConnectionSettings& connections);

}  // namespace vestrel::browsers
