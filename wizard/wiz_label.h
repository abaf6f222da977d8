// Labelling what an import made: after a successful import, every version a
// user of the imported files needs gets the label, so that a baseline can be
// made from it: the latest versions of the directories and branches the
// import created, and the current versions of the directories from the
// destination up to its VOB root.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/store/vob.h"
#include "wizard/wiz_dest.h"

// What labelling needs of an import request.
struct LabelRequest {
    const ImportDestination *dest = nullptr;
    std::map<vob_oid, bool> element_map;        // elements the import touched
    std::map<vob_oid, vob_oid> created_dirs;    // directory element -> its branch, made by the import
    std::vector<vob_oid> branch_list;           // branches the import added versions to, in arrival order
    std::map<vob_oid, vob_oid> ancestor_dirs;   // out: directory element -> version, above the import
    std::string branch_type;                    // the import's branch type; "" is main
    bool succeeded = false;
};

// Told once per version about to be labelled (a progress bar's step).
class EventObserver {
public:
    virtual ~EventObserver();
    virtual void notify() = 0;
};

// The calling thread's handle of the VOB with this tag, opened on first use
// and kept until the thread ends (or wiz_vob_handles_release). Raises
// VantorException.
vob_t *wiz_vob_handle(const std::string &tag);
// Closes the calling thread's VOB handles.
void wiz_vob_handles_release();

// Labels the versions of a succeeded request with the existing label type
// `label` (nothing for one that did not succeed). All labels of the request
// go in one transaction: a failure raises VantorException and leaves none.
void wiz_apply_label(LabelRequest &req, const std::string &label, EventObserver *obs);
