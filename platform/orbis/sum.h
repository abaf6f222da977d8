// The project library's calls as the import wizard makes them: small value
// handles over the project layer (orbis.h). A handle names its object (the
// project VOB's tag and the object's oid and name); each call opens the VOBs
// it needs, does one thing and closes them, so that handles may be copied
// and used on any thread.
//
// Calls return 0 or a store status (vob.h). A failing call also prints its
// message through the message library (runtime/imsg.h) as an error, so that
// a SUM_ImsgRedirector living on the calling thread collects it (without
// one it goes to standard error).
#pragma once

#include "platform/store/vob.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

// Collects the messages the product's libraries print on the calling thread
// while it lives (runtime/imsg's redirection), for a dialog or an exception.
class SUM_ImsgRedirector {
public:
    SUM_ImsgRedirector();
    ~SUM_ImsgRedirector();
    SUM_ImsgRedirector(const SUM_ImsgRedirector &) = delete;
    SUM_ImsgRedirector &operator=(const SUM_ImsgRedirector &) = delete;
    int count() const;
    const std::string &message(int i) const;
    // message(0) + message(1) + ...
    std::string text() const;

private:
    struct impl;
    std::unique_ptr<impl> impl_;
};

// A VOB by tag. The default one names none: a selector must then carry its
// own "@VOB".
class SUM_Vob {
public:
    SUM_Vob() = default;
    // A registered VOB tag, or a path inside a VOB (a view path, or one that
    // begins with a tag). flags: unused, 0.
    static int construct_from_pname_or_tag(const std::string &pname_or_tag, int flags, SUM_Vob *out);
    const std::string &tag() const { return tag_; }
    bool is_default() const { return tag_.empty(); }

private:
    std::string tag_;
};

// Construction flags: SUM_READ reads the object at once (a selector naming
// none fails there); without it only the selector is checked, and the first
// call that needs the object reads it.
enum { SUM_READ = 1 };

class SUM_Baseline {
public:
    SUM_Baseline() = default;
    static int construct_from_selector(const std::string &selector, const SUM_Vob &pvob, int flags,
                                       SUM_Baseline *out);
    // An import baseline of comp from the label type (the second argument,
    // a baseline to copy settings from, is not used: pass null).
    static int create_import(const class SUM_LabelType &lbtype, const SUM_Baseline *unused,
                             const class SUM_Component &comp, const std::string &comment, SUM_Baseline *out);
    const std::string &pvob() const { return pvob_; }
    const std::string &name() const { return name_; }
    vob_oid oid() const { return oid_; }
    std::string selector() const;   // "baseline:NAME@/pvob"
    // The baseline's component.
    int component(class SUM_Component *out) const;

private:
    friend class SUM_Component;
    std::string pvob_, name_;
    vob_oid oid_ = 0;
};

class SUM_Component {
public:
    SUM_Component() = default;
    static int construct_from_selector(const std::string &selector, const SUM_Vob &pvob, int flags,
                                       SUM_Component *out);
    int initial_baseline(SUM_Baseline *out) const;
    // The component's VOB tag.
    int vob_tag(std::string *out) const;
    const std::string &pvob() const { return pvob_; }
    const std::string &name() const { return name_; }
    vob_oid oid() const { return oid_; }

private:
    friend class SUM_Project;
    std::string pvob_, name_;
    vob_oid oid_ = 0;
};

// A label type of some VOB.
class SUM_LabelType {
public:
    SUM_LabelType() = default;
    // "[lbtype:]NAME@VOB"; without "@", the given VOB.
    static int construct_from_selector(const std::string &selector, const SUM_Vob &vob, SUM_LabelType *out);
    const std::string &vob_tag() const { return vob_; }
    const std::string &name() const { return name_; }

private:
    std::string vob_, name_;
};

// A set of baselines, at most one per component to be free of conflicts.
class SUM_Foundation {
public:
    static int construct_from_baselines(const std::vector<SUM_Baseline> &baselines, SUM_Foundation *out);
    // 0 without conflicts; else VOB_ERR, each conflict printed as an error
    // and, when out is given, listed there.
    int diagnose_conflicts(std::vector<std::string> *out = nullptr) const;
    const std::vector<SUM_Baseline> &baselines() const { return baselines_; }

private:
    std::vector<SUM_Baseline> baselines_;
};

// One change a new configuration makes to the stream it is for.
struct SUM_ConfigChange {
    std::string message;   // "Component "C": baseline "B" (was "A")", ...
    bool report = true;    // false: not for the user
};
struct SUM_ConfigCallbacks {
    std::function<void(const SUM_ConfigChange &)> config_change;
};

class SUM_Project;

// A checked configuration of an integration stream.
class SUM_NewConfig {
public:
    // The configuration that an integration stream of the project with this
    // foundation would have: config_change is called once per component of
    // the foundation (and per modifiable component it lacks); *error_flagged
    // is set when something stands in the way (a conflict, a baseline of a
    // component the project does not hold). 0 with *out set when a
    // configuration came back (valid or not); a failure status otherwise.
    static int validate_new_istream_config(const SUM_Project &project, const SUM_Foundation &foundation,
                                           const SUM_ConfigCallbacks &callbacks,
                                           std::unique_ptr<SUM_NewConfig> *out, bool *error_flagged);
    bool is_valid() const { return valid_; }
    const SUM_Foundation &foundation() const { return foundation_; }

private:
    SUM_Foundation foundation_;
    bool valid_ = false;
};

class SUM_Stream {
public:
    SUM_Stream() = default;
    static int construct_from_selector(const std::string &selector, const SUM_Vob &pvob, int flags,
                                       SUM_Stream *out);
    // An integration stream of the project with the configuration's foundation.
    static int create(const std::string &name, const SUM_Project &project, const SUM_NewConfig &config,
                      SUM_Stream *out);
    // The stream's foundation becomes the configuration's.
    int rebase(const SUM_NewConfig &config) const;
    // Its baselines, by component name.
    int foundation(std::vector<SUM_Baseline> *out) const;
    const std::string &pvob() const { return pvob_; }
    const std::string &name() const { return name_; }
    vob_oid oid() const { return oid_; }

private:
    friend class SUM_Project;
    std::string pvob_, name_;
    vob_oid oid_ = 0;
};

class SUM_Project {
public:
    SUM_Project() = default;
    static int construct_from_selector(const std::string &selector, const SUM_Vob &pvob, int flags,
                                       SUM_Project *out);
    // The same with flags 0.
    static int construct_from_selector(const std::string &selector, const SUM_Vob &pvob, SUM_Project *out);
    int title(std::string *out) const;
    int mod_comps(std::vector<SUM_Component> *out) const;   // by name
    // VOB_NOT_FOUND (nothing printed) when the project has none.
    int default_integration_stream(SUM_Stream *out) const;
    // flags: unused, 0.
    int set_default_integration_stream(const SUM_Stream &stream, int flags) const;
    const std::string &pvob() const { return pvob_; }
    const std::string &name() const { return name_; }

private:
    int read(vob_oid *oid) const;
    std::string pvob_, name_;
    mutable vob_oid oid_ = 0;
};
