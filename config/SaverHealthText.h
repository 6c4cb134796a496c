#pragma once
#include "settings/SaverHealthRecord.h"
#include "ui/AnsiString.h"

// The words the saver list shows for a record of run mode: a few words for the Status
// column ("Crashed (3 times)", "Left out: crashed 3 times in a row"), and a sentence or
// two for the line under the list (when, the exit code, what run mode did about it).
AnsiString SaverStatusText(const SaverHealthRecord& record);
AnsiString SaverDetailsText(const SaverHealthRecord& record);
// The words for a stored saver whose file cannot be seen now: the Status column's, and the
// line under the list with its path.
AnsiString SaverAwayStatusText();
AnsiString SaverAwayDetailsText(const AnsiString& path);
