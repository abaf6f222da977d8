// What the sheet and the progress page know of an import request: its texts,
// its flags and its counts. ImportTask (wiz_task.h) is the one real request;
// the sheet's tests use their own.
#pragma once

#include <string>

class EventObserver;

class WizRequest {
public:
    virtual ~WizRequest();
    virtual bool started() const = 0;
    virtual bool succeeded() const = 0;
    // The same legacy object into the same destination (the request lists'
    // duplicate check, and superseding a failure by a later success).
    virtual bool same_pair(const WizRequest &other) const = 0;
    // "<location>/<object path>" and "<VOB tag>[/<sub-path>]/<display name>".
    virtual std::string source_text() const = 0;
    virtual std::string destination_text() const = 0;
    // The destination's VOB tag ("/proj"): the project step's VOB set.
    virtual std::string vob_tag() const = 0;
    // Element-map size, created elements, and the labelling's step count.
    virtual long elements_examined() const = 0;
    virtual long elements_created() const = 0;
    virtual long label_work() const = 0;
    // Labels what a succeeded request imported with the existing label type
    // `label`, telling the observer of each step; raises VantorException.
    // Nothing for a request that imported nothing.
    virtual void apply_label(const std::string &label, EventObserver *observer) {
        (void)label;
        (void)observer;
    }
};
