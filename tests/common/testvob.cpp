#include "tests/common/testvob.h"

#include <cstdlib>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/registry/vob_tag.h"
#include "platform/view/view.h"

#ifndef VANTOR_BIN
#error VANTOR_BIN must name the vantor program of this build
#endif

namespace testvob {

void VobTest::SetUp() {
    home = dir_.path();
    tmp = home + "/scratch";
    testutil::make_dirs(tmp);
    setenv("VANTOR_HOME", home.c_str(), 1);
    setenv("VANTOR_BUSY_TIMEOUT_MS", "10000", 1);
}

void VobTest::TearDown() {
    unsetenv("VANTOR_HOME");
    unsetenv("VANTOR_BUSY_TIMEOUT_MS");
}

vob_t *VobTest::make_vob(const std::string &tag) {
    std::string err;
    EXPECT_EQ(vob_make(tag, "", 0, nullptr, &err), VOB_OK) << err;
    vob_t *v = nullptr;
    EXPECT_EQ(vob_open_tag(tag, &v, &err), VOB_OK) << err;
    return v;
}

void OpenVobTest::SetUp() {
    VobTest::SetUp();
    v = make_vob("/t");
    ASSERT_NE(v, nullptr);
}

void OpenVobTest::TearDown() {
    vob_close(v);
    v = nullptr;
    VobTest::TearDown();
}

void ViewTest::SetUp() {
    VobTest::SetUp();
    std::string err;
    ASSERT_EQ(vob_make("/t", "", 0, &vob_dir, &err), VOB_OK) << err;
    view_root = home + "/view";
    ASSERT_EQ(view_make("vt", view_root, &err), VOB_OK) << err;
    view_t *view = nullptr;
    ASSERT_EQ(view_open(view_root, &view, &err), VOB_OK) << err;
    ASSERT_EQ(view_add_scope(view, "/t"), VOB_OK) << view_errmsg(view);
    ASSERT_EQ(view_update(view, nullptr, nullptr, nullptr), VOB_OK) << view_errmsg(view);
    view_close(view);
    ASSERT_EQ(vob_open(vob_dir, &vob, &err), VOB_OK) << err;
}

void ViewTest::TearDown() {
    vob_close(vob);
    vob = nullptr;
    VobTest::TearDown();
}

vob_oid ViewTest::elem(const std::string &path) {
    vob_oid e = 0, v = 0;
    if (vob_resolve_path(vob, path, nullptr, "", &e, &v))
        return 0;
    return e;
}

vob_oid ViewTest::ver(const std::string &xpath) {
    vob_oid e = 0, v = 0;
    if (vob_resolve_path(vob, xpath, nullptr, "", &e, &v))
        return 0;
    return v;
}

std::string ViewTest::contents(const std::string &xpath) {
    std::string bytes;
    vob_oid v = ver(xpath);
    if (!v || vob_ver_read_data(vob, v, &bytes))
        return "<none>";
    return bytes;
}

std::vector<std::string> vtree_ids(vob_t *vob, vob_oid elem) {
    std::vector<vob_vtree_node> nodes;
    std::vector<std::string> ids;
    EXPECT_EQ(vob_elem_get_vtree(vob, elem, &nodes), VOB_OK) << vob_errmsg(vob);
    for (const vob_vtree_node &n : nodes)
        ids.push_back(n.ver.id);
    return ids;
}

std::vector<std::string> ViewTest::vtree(const std::string &path) { return vtree_ids(vob, elem(path)); }

std::vector<std::string> ViewTest::labels(const std::string &xpath) {
    std::vector<vob_label> ls;
    std::vector<std::string> names;
    EXPECT_EQ(vob_ver_get_labels(vob, ver(xpath), &ls), VOB_OK) << vob_errmsg(vob);
    for (const vob_label &l : ls)
        names.push_back(l.name);
    return names;
}

std::string ViewTest::attr(vob_oid obj, const std::string &name) {
    std::vector<vob_attr> attrs;
    if (vob_obj_get_attrs(vob, obj, &attrs) != VOB_OK)
        return "<none>";
    for (const vob_attr &a : attrs)
        if (a.name == name)
            return a.value;
    return "<none>";
}

int run_vantor(const std::string &args, std::string *out, std::string *err, const std::string &cwd) {
    std::string discard;
    return testutil::shell("'" VANTOR_BIN "' " + args, out, err ? err : &discard, cwd.empty() ? "." : cwd);
}

unsigned unprivileged_uid() { return geteuid() == 0 ? 65534u : (unsigned)geteuid(); }

std::string run_unprivileged(const std::function<std::string()> &fn) {
    int fds[2];
    if (pipe(fds) != 0)
        return "SKIP: no pipe";
    pid_t pid = fork();
    if (pid < 0)
        return "SKIP: no fork";
    if (pid == 0) {
        close(fds[0]);
        std::string answer;
        if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0))
            answer = "SKIP: cannot drop to uid 65534";
        else
            answer = fn();
        for (size_t at = 0; at < answer.size();) {
            ssize_t n = write(fds[1], answer.data() + at, answer.size() - at);
            if (n <= 0)
                break;
            at += (size_t)n;
        }
        _exit(0);
    }
    close(fds[1]);
    std::string got;
    char buf[4096];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0)
        got.append(buf, (size_t)n);
    close(fds[0]);
    int st = 0;
    waitpid(pid, &st, 0);
    if (!WIFEXITED(st))
        return "the unprivileged child died";
    return got;
}

}   // namespace testvob
