// The events an import run sends to the progress page (WM_IMPORT_EVENT in
// the original design): kinds 0 to 10. The import thread (wiz_thread.h)
// delivers them on the page's thread; the progress model (wiz_progress.h)
// handles them.
//
// Kinds, as the import library's callbacks map onto them: 0 a request
// starts; 1 the totals (a = elements, b = versions); 2 is never sent (the
// numbering is the page's); 3 directories are being made; 4 types are being
// made (four callbacks); 5 a directory (name, a = element, b = branch, c =
// created); 6 an element (name, a = element, b = created); 7 a version (name =
// its VersionId, a = branch, b = new); 8 a version equal to its predecessor
// (name, a = branch); 9 the request succeeded; 10 it failed (error).
// Kinds 0 and 1 to 8 are sent (the import thread waits until the page has
// handled them); 9 and 10 are posted. The routine kinds 5 to 8 come one per
// directory, element or version, tens of thousands in a run: the import
// thread gathers them for a short while and delivers one event of each kind
// with `count` saying how many it stands for (the last one's data), so that
// the import does not wait on the page for every version.
#pragma once

#include <memory>
#include <string>

#include "wizard/wiz_error.h"

class WizRequest;

struct ImportEvent {
    enum Kind {
        START = 0,
        RANGE = 1,
        UNUSED_2 = 2,
        DIRECTORIES = 3,
        TYPES = 4,
        DIRECTORY = 5,
        ELEMENT = 6,
        VERSION = 7,
        VERSION_IDENTICAL = 8,
        SUCCEEDED = 9,
        FAILED = 10,
    };
    int kind = START;
    WizRequest *request = nullptr;   // the running request (every kind)
    std::string name;
    long a = 0, b = 0, c = 0, d = 0;
    long count = 1;   // kinds 5 to 8: the number of like events this one stands for
    std::shared_ptr<VantorException> error;   // kind 10
};
