// wizard_driver: runs VantorImportWizard and steps its sheet through a
// script, for the scenario tests and the bench.
//
//   wizard_driver [-shots DIR] [-timeout SECONDS] SCRIPT [wizard words...]
//
// The steps run from a chain of 20 ms single-shot timers on the sheet's event
// loop. Each tick schedules the next one before it acts, so a message box's
// nested event loop keeps the chain going and the step after the one that
// opened the box can answer it. A step that waits polls once per tick until
// its condition holds or its time (default 120 s) runs out.
//
// Invariants: at most one step is active at a time; a step whose action may
// block (a click, a selection, a key) is over before the action starts; only
// the first failure is reported, after which the ticks close every box and
// then the sheet, so that the program's own clean-up (the temporary view)
// still runs.
#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QTimer>
#include <QTreeView>

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "wizard/gui/gui_app.h"
#include "wizard/gui/gui_sheet.h"
#include "wizard/wiz_legacy.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Step {
    int line = 0;
    std::string text;                 // the line as written
    std::vector<std::string> words;   // words[0] is the verb
};

std::string trim(const std::string &s) {
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos)
        return "";
    return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

// The text after the first `skip` words, blanks inside it kept.
std::string after_words(const std::string &s, size_t skip) {
    size_t i = 0;
    for (size_t n = 0; n < skip; ++n) {
        i = s.find_first_not_of(" \t", i);
        if (i == std::string::npos)
            return "";
        i = s.find_first_of(" \t", i);
        if (i == std::string::npos)
            return "";
    }
    return trim(s.substr(i));
}

// "\n" stands for a newline, "\\" for a backslash.
std::string unescape(const std::string &s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size() && (s[i + 1] == 'n' || s[i + 1] == '\\'))
            out += s[++i] == 'n' ? '\n' : '\\';
        else
            out += s[i];
    }
    return out;
}

bool read_script(const std::string &path, std::vector<Step> *steps) {
    std::ifstream in(path);
    if (!in)
        return false;
    std::string line;
    for (int n = 1; std::getline(in, line); ++n) {
        std::string t = trim(line);
        if (t.empty() || t[0] == '#')
            continue;
        Step s{n, t, {}};
        std::istringstream words(t);
        for (std::string w; words >> w;)
            s.words.push_back(w);
        steps->push_back(std::move(s));
    }
    return true;
}

const std::pair<const char *, WizPage> page_names[] = {
    {"welcome", WizPage::WELCOME},
    {"kind", WizPage::LEGACY_KIND},
    {"srcdest", WizPage::SRC_DEST},
    {"preview", WizPage::PREVIEW},
    {"progress", WizPage::IMPORT_PROGRESS},
    {"iterate", WizPage::ITERATE},
    {"project-progress", WizPage::PROJECT_PROGRESS},
    {"import-succeed", WizPage::IMPORT_SUCCEED},
    {"import-fail", WizPage::IMPORT_FAIL},
    {"project-succeed", WizPage::PROJECT_SUCCEED},
    {"project-fail", WizPage::PROJECT_FAIL},
};

bool parse_page(const std::string &word, WizPage *out) {
    for (const auto &[name, id] : page_names)
        if (word == name || word == std::to_string(int(id))) {
            *out = id;
            return true;
        }
    return false;
}

// The kinds' short names; the kind list shows their display texts.
const std::pair<const char *, LegacyKind::Id> kind_names[] = {
    {"ffile", LegacyKind::FFILE}, {"pvcs", LegacyKind::PVCS}, {"ssafe", LegacyKind::SSAFE},
    {"rcs", LegacyKind::RCS},     {"si", LegacyKind::SI},
};

QMessageBox *visible_box() {
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *box = qobject_cast<QMessageBox *>(w); box && box->isVisible())
            return box;
    return nullptr;
}

// A widget's text as the user reads it; false for a widget that shows none.
// An item view shows the row's columns joined by " | ".
bool widget_text(QWidget *w, int row, std::string *out) {
    QString t;
    if (auto *label = qobject_cast<QLabel *>(w))
        t = label->text();
    else if (auto *button = qobject_cast<QAbstractButton *>(w))
        t = button->text();
    else if (auto *combo = qobject_cast<QComboBox *>(w))
        t = combo->currentText();
    else if (auto *bar = qobject_cast<QProgressBar *>(w))
        t = bar->text();
    else if (auto *view = qobject_cast<QAbstractItemView *>(w)) {
        QAbstractItemModel *m = view->model();
        if (!m || row >= m->rowCount(view->rootIndex()))
            return false;
        QStringList cols;
        for (int c = 0; c < m->columnCount(view->rootIndex()); ++c)
            cols << m->index(row, c, view->rootIndex()).data().toString();
        t = cols.join(" | ");
    } else
        return false;
    *out = t.toStdString();
    return true;
}

// How long ago this process started: its start in /proc, in clock ticks since
// boot, against the uptime. 0 where they cannot be read.
double seconds_since_exec() {
    std::ifstream stat("/proc/self/stat"), up("/proc/uptime");
    std::string line;
    double uptime = 0;
    if (!std::getline(stat, line) || !(up >> uptime) || line.rfind(')') == std::string::npos)
        return 0;
    std::istringstream fields(line.substr(line.rfind(')') + 2));
    std::string skip;
    for (int field = 3; field < 22; ++field)   // state .. itrealvalue
        fields >> skip;
    unsigned long long start = 0;
    if (!(fields >> start))
        return 0;
    return std::max(0.0, uptime - double(start) / double(::sysconf(_SC_CLK_TCK)));
}

// Counts the paints of a widget into a counter the driver owns.
class PaintCounter : public QObject {
public:
    PaintCounter(long *count, QObject *parent) : QObject(parent), count_(count) {}
    bool eventFilter(QObject *, QEvent *event) override {
        if (event->type() == QEvent::Paint)
            ++*count_;
        return false;
    }

private:
    long *count_;
};

struct Result {
    enum Kind { DONE, WAIT, FAIL } kind = DONE;
    std::string why;
};
Result done() { return {}; }
Result wait() { return {Result::WAIT, {}}; }
Result fail(std::string why) { return {Result::FAIL, std::move(why)}; }

class Runner {
public:
    Runner(std::string script, std::vector<Step> steps, std::string shots, double timeout,
           Clock::time_point t0)
        : script_(std::move(script)),
          steps_(std::move(steps)),
          shots_(std::move(shots)),
          timeout_(timeout),
          process_start_(t0) {}

    void start(SheetImport &sheet);
    // The driver's exit status once the sheet has closed.
    int verdict(int status);

private:
    void schedule() {
        QTimer::singleShot(20, ticker_, [this] { tick(); });
    }
    void tick();
    void sample_run();
    void report(const Step &s, const std::string &why);
    void close_down();
    Result begin(const Step &s);
    Result poll(const Step &s);
    Result walk();
    Result select_row(const Step &s, bool by_key);
    Result expect(const Step &s);
    Result click(QAbstractButton *b, const char *what);
    // Ends the active step, then runs the action, which may block in a box.
    template <class F> void act(F f) {
        active_ = -1;
        inside_ = false;
        f();
    }
    QWidget *find_widget(const std::string &name) const;
    template <class T> T *find(const std::string &name) const { return qobject_cast<T *>(find_widget(name)); }
    std::string where(const Step &s) const { return script_ + ":" + std::to_string(s.line) + ": " + s.text; }

    std::string script_;
    std::vector<Step> steps_;
    std::string shots_;
    double timeout_;
    QPointer<SheetImport> sheet_;
    QObject *ticker_ = nullptr;   // the timers' context, a child of the sheet
    size_t next_ = 0;
    long active_ = -1;   // the waiting step
    Clock::time_point deadline_, sleep_until_;
    bool inside_ = false;   // step code on the stack, outside act()
    bool failed_ = false, closing_ = false, stopped_ = false, shown_ = false;
    // A tree walk of source/dest: the labels from the top, how far it got.
    QPointer<QTreeView> walk_view_;
    std::vector<std::string> walk_labels_;
    size_t walk_pos_ = 0;
    QPersistentModelIndex walk_index_;
    // The figures of the stats step.
    Clock::time_point process_start_, shown_at_, run_start_;
    bool run_busy_ = false;
    long paints_ = 0, run_paints_ = 0;
    double run_seconds_ = -1;
};

void Runner::start(SheetImport &sheet) {
    shown_ = true;
    shown_at_ = Clock::now();
    sheet_ = &sheet;
    ticker_ = new QObject(&sheet);
    if (WizPageBase *page = sheet.page_of(WizPage::IMPORT_PROGRESS))
        if (QWidget *bar = page->findChild<QWidget *>("progressBar"))
            bar->installEventFilter(new PaintCounter(&paints_, ticker_));
    schedule();
}

void Runner::tick() {
    if (stopped_ || !sheet_)
        return;
    schedule();
    sample_run();
    if (closing_) {
        close_down();
        return;
    }
    if (inside_) {   // a step's own call opened a box: nobody will answer it
        if (QMessageBox *box = visible_box())
            report(steps_[size_t(active_ >= 0 ? active_ : long(next_) - 1)],
                   "unexpected message box: " + box->text().toStdString());
        return;
    }
    Result r;
    size_t index;
    if (active_ >= 0) {
        index = size_t(active_);
        inside_ = true;
        r = poll(steps_[index]);
    } else if (next_ < steps_.size()) {
        index = next_++;
        const Step &s = steps_[index];
        std::cout << where(s) << std::endl;
        deadline_ = Clock::now() + std::chrono::milliseconds(long(timeout_ * 1000));
        active_ = long(index);
        inside_ = true;
        // Only the steps that look or wait may run while a box is up.
        QMessageBox *box = visible_box();
        const std::string &verb = s.words[0];
        static const std::set<std::string> box_steps = {"answer", "wait-idle", "shot", "sleep", "stats"};
        if (box && !box_steps.count(verb) && verb.rfind("expect-", 0) != 0)
            r = fail("unexpected message box: " + box->text().toStdString());
        else
            r = begin(s);
    } else {
        if (QMessageBox *box = visible_box())
            report(steps_.back(), "script ended with a message box up: " + box->text().toStdString());
        else if (sheet_->isVisible())
            report(steps_.back(), "script ended on page " + std::to_string(int(sheet_->active_id())));
        else
            stopped_ = true;
        return;
    }
    inside_ = false;
    if (r.kind == Result::WAIT && Clock::now() > deadline_)
        r = fail("timed out after " + std::to_string(int(timeout_)) + " s");
    if (r.kind == Result::FAIL)
        report(steps_[index], r.why);
    else if (r.kind == Result::DONE && active_ == long(index))
        active_ = -1;
}

// The import progress page's runs: paints of its bar while it is busy.
void Runner::sample_run() {
    WizPageBase *page = sheet_->page_of(WizPage::IMPORT_PROGRESS);
    bool busy = page && page->busy();
    if (busy && !run_busy_) {
        run_start_ = Clock::now();
        paints_ = 0;
    } else if (!busy && run_busy_) {
        run_seconds_ = std::chrono::duration<double>(Clock::now() - run_start_).count();
        run_paints_ = paints_;
    }
    run_busy_ = busy;
}

void Runner::report(const Step &s, const std::string &why) {
    if (!failed_)
        std::cerr << where(s) << ": " << why << std::endl;
    failed_ = closing_ = true;
    active_ = -1;
}

// After a failure: answers every box the way that ends things soonest, then
// closes the sheet.
void Runner::close_down() {
    if (QMessageBox *box = visible_box()) {
        for (auto b : {QMessageBox::No, QMessageBox::Ok, QMessageBox::Cancel})
            if (QAbstractButton *button = box->button(b)) {
                button->click();
                return;
            }
        box->reject();
    } else if (sheet_->isVisible()) {
        sheet_->done(QDialog::Rejected);
    } else {
        stopped_ = true;
    }
}

QWidget *Runner::find_widget(const std::string &name) const {
    QString n = QString::fromStdString(name);
    if (WizPageBase *page = sheet_->active_page())
        if (QWidget *w = page->findChild<QWidget *>(n))
            return w;
    for (QWidget *w : sheet_->findChildren<QWidget *>(n)) {   // the sheet's own, on no page
        QWidget *p = w;
        while (p && p != sheet_.data() && !qobject_cast<WizPageBase *>(p))
            p = p->parentWidget();
        if (p == sheet_.data())
            return w;
    }
    return nullptr;
}

Result Runner::click(QAbstractButton *b, const char *what) {
    if (!b)
        return fail(std::string("no ") + what + " button");
    if (!b->isVisible())
        return fail(std::string(what) + " is hidden");
    if (!b->isEnabled())
        return fail(std::string(what) + " is disabled");
    act([b] { b->click(); });
    return done();
}

Result Runner::begin(const Step &s) {
    const std::string &verb = s.words[0];
    const size_t n = s.words.size() - 1;
    auto need_page = [&](WizPage id) { return sheet_->active_id() == id; };
    if (verb == "next" || verb == "back" || verb == "finish" || verb == "cancel") {
        if (n != 0)
            return fail("takes no operand");
        QAbstractButton *b = verb == "next"     ? sheet_->next_button()
                             : verb == "back"   ? sheet_->back_button()
                             : verb == "finish" ? sheet_->finish_button()
                                                : sheet_->cancel_button();
        return click(b, verb.c_str());
    }
    if (verb == "add")
        return click(find<QAbstractButton>("addButton"), "addButton");
    if (verb == "click")
        return n == 1 ? click(find<QAbstractButton>(s.words[1]), s.words[1].c_str())
                      : fail("names one button");
    if (verb == "kind") {
        if (!need_page(WizPage::LEGACY_KIND))
            return fail("not on the legacy kind page");
        auto *combo = find<QComboBox>("kindList");
        if (!combo || n < 1)
            return fail(combo ? "names a kind" : "no kindList");
        QString text = QString::fromStdString(after_words(s.text, 1));
        for (const auto &[name, id] : kind_names)
            if (s.words[1] == name)
                text = QString::fromStdString(LegacyKind::get(id)->display());
        int i = combo->findText(text, Qt::MatchExactly);
        if (i < 0)
            return fail("kindList has no \"" + text.toStdString() + "\"");
        act([combo, i] { combo->setCurrentIndex(i); });
        return done();
    }
    if (verb == "source" || verb == "dest") {
        if (!need_page(WizPage::SRC_DEST))
            return fail("not on the source/destination page");
        // A source path from "~" starts at the tree's home item, any other
        // at "/"; a destination's first component is the VOB's tag.
        std::string path = after_words(s.text, 1);
        bool home = verb == "source" && (path == "~" || path.rfind("~/", 0) == 0);
        walk_view_ = find<QTreeView>(verb == "source" ? "sourceTree" : "destTree");
        if (!walk_view_ || path.empty() || (path[0] != '/' && !home))
            return fail(walk_view_ ? "takes an absolute path" : "no tree view");
        walk_labels_.clear();
        std::istringstream parts(path.substr(1));
        for (std::string part; std::getline(parts, part, '/');)
            if (!part.empty())
                walk_labels_.push_back(part);
        if (verb == "source")
            walk_labels_.insert(walk_labels_.begin(), home ? QDir::homePath().toStdString() : "/");
        else if (!walk_labels_.empty())
            walk_labels_[0] = "/" + walk_labels_[0];
        walk_pos_ = 0;
        walk_index_ = QPersistentModelIndex();
        return walk_labels_.empty() ? fail("names no VOB") : walk();
    }
    if (verb == "remove" || verb == "delete-key")
        return n == 1 ? select_row(s, verb == "delete-key") : fail("names one row");
    if (verb == "answer") {
        if (n < 1 || (s.words[1] != "yes" && s.words[1] != "no" && s.words[1] != "ok"))
            return fail("answer yes, no or ok");
        return poll(s);
    }
    if (verb == "sleep") {
        if (n != 1 || std::atol(s.words[1].c_str()) < 0)
            return fail("names milliseconds");
        sleep_until_ = Clock::now() + std::chrono::milliseconds(std::atol(s.words[1].c_str()));
        deadline_ = std::max(deadline_, sleep_until_ + std::chrono::seconds(1));
        return poll(s);
    }
    if (verb == "wait-idle")
        return poll(s);
    if (verb.rfind("expect-", 0) == 0)
        return expect(s);
    if (verb == "shot") {
        if (n != 1)
            return fail("names one file");
        QDir().mkpath(QString::fromStdString(shots_));
        QString file = QString::fromStdString(shots_ + "/" + s.words[1]);
        return sheet_->grab().save(file) ? done() : fail("cannot write " + file.toStdString());
    }
    if (verb == "shell") {
        int status = std::system(after_words(s.text, 1).c_str());
        if (status != 0)
            return fail(WIFEXITED(status) ? "exit status " + std::to_string(WEXITSTATUS(status))
                                          : "status " + std::to_string(status));
        return done();
    }
    if (verb == "stats") {
        std::ostringstream out;
        out << std::fixed << std::setprecision(3) << "progress-bar paints: ";
        if (run_seconds_ < 0)
            out << "0 in 0.000 s (no run)\n";
        else
            out << run_paints_ << " in " << run_seconds_ << " s (" << std::setprecision(1)
                << (run_seconds_ > 0 ? double(run_paints_) / run_seconds_ : 0.0) << "/s)\n";
        out << std::setprecision(3)
            << "start to welcome: " << std::chrono::duration<double>(shown_at_ - process_start_).count()
            << " s";
        std::cout << out.str() << std::endl;
        return done();
    }
    return fail("unknown step");
}

// The waiting steps' later ticks (and their first).
Result Runner::poll(const Step &s) {
    const std::string &verb = s.words[0];
    if (verb == "source" || verb == "dest")
        return walk();
    if (verb == "sleep")
        return Clock::now() >= sleep_until_ ? done() : wait();
    QMessageBox *box = visible_box();
    if (verb == "wait-idle")
        return box || !sheet_->active_page() || !sheet_->active_page()->busy() ? done() : wait();
    // answer
    if (!box)
        return wait();
    std::string want = unescape(after_words(s.text, 2)), text = box->text().toStdString();
    if (text.find(want) == std::string::npos)
        return fail("the message box says: " + text);
    QMessageBox::StandardButton which = s.words[1] == "yes"  ? QMessageBox::Yes
                                        : s.words[1] == "no" ? QMessageBox::No
                                                             : QMessageBox::Ok;
    QAbstractButton *b = box->button(which);
    if (!b)
        return fail("the message box has no " + s.words[1] + " button: " + text);
    act([b] { b->click(); });
    return done();
}

// One step down a tree per label; the view fetches an item's children when
// it expands it, at once or at its next layout, so a walk may take ticks.
Result Runner::walk() {
    if (!walk_view_)
        return fail("the tree view is gone");
    QAbstractItemModel *m = walk_view_->model();
    while (walk_pos_ < walk_labels_.size()) {
        QModelIndex parent = walk_index_;
        if (parent.isValid() && !walk_view_->isExpanded(parent)) {
            walk_view_->expand(parent);
            if (failed_)
                return done();
        }
        if (m->canFetchMore(parent))
            return wait();
        QModelIndex found;
        QStringList have;
        for (int r = 0; r < m->rowCount(parent); ++r) {
            QModelIndex i = m->index(r, 0, parent);
            have << i.data().toString();
            if (have.back().toStdString() == walk_labels_[walk_pos_])
                found = i;
        }
        if (!found.isValid())
            return fail("no \"" + walk_labels_[walk_pos_] +
                        "\" in the tree (there: " + have.join(", ").toStdString() + ")");
        walk_index_ = found;
        ++walk_pos_;
    }
    QPointer<QTreeView> view = walk_view_;
    QModelIndex target = walk_index_;
    act([view, target] {
        view->scrollTo(target);
        view->selectionModel()->setCurrentIndex(target, QItemSelectionModel::ClearAndSelect);
    });
    return done();
}

// remove ROW and delete-key ROW: the row of the page's request list
// selected, then its Remove button clicked or Delete pressed on the list.
Result Runner::select_row(const Step &s, bool by_key) {
    auto *list = find<QAbstractItemView>("requestList");
    if (!list || !list->model())
        return fail("no requestList on this page");
    char *end = nullptr;
    long row = std::strtol(s.words[1].c_str(), &end, 10);
    int rows = list->model()->rowCount(list->rootIndex());
    if (*end || row < 0 || row >= rows)
        return fail("no row " + s.words[1] + " of " + std::to_string(rows));
    QModelIndex index = list->model()->index(int(row), 0, list->rootIndex());
    list->selectionModel()->setCurrentIndex(index,
                                            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    if (!by_key)
        return click(find<QAbstractButton>("removeButton"), "removeButton");
    QPointer<QAbstractItemView> target = list;
    act([target] {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
        QApplication::sendEvent(target, &press);
        if (target) {
            QKeyEvent release(QEvent::KeyRelease, Qt::Key_Delete, Qt::NoModifier);
            QApplication::sendEvent(target, &release);
        }
    });
    return done();
}

// expect-page ID; expect-text / expect-contains NAME[ROW] TEXT;
// expect-rows NAME N; expect-enabled / expect-visible / expect-bold NAME yes|no.
Result Runner::expect(const Step &s) {
    const std::string &verb = s.words[0];
    if (s.words.size() < 2)
        return fail("needs an operand");
    if (verb == "expect-page") {
        WizPage want;
        if (!parse_page(s.words[1], &want))
            return fail("no page " + s.words[1]);
        int have = int(sheet_->active_id());
        return have == int(want) ? done() : fail("on page " + std::to_string(have));
    }
    std::string name = s.words[1];
    int row = 0;
    if (size_t bracket = name.find('['); bracket != std::string::npos) {
        row = std::atoi(name.c_str() + bracket + 1);
        name.resize(bracket);
    }
    QWidget *w = find_widget(name);
    if (!w)
        return fail("no widget " + name);
    if (verb == "expect-text" || verb == "expect-contains") {
        std::string want = unescape(after_words(s.text, 2)), have;
        if (!widget_text(w, row, &have))
            return fail(name + " shows no text");
        bool ok = verb == "expect-text" ? have == want : have.find(want) != std::string::npos;
        return ok ? done() : fail(name + " shows \"" + have + "\"");
    }
    if (s.words.size() != 3)
        return fail("needs two operands");
    if (verb == "expect-rows") {
        int have = -1;
        if (auto *view = qobject_cast<QAbstractItemView *>(w); view && view->model())
            have = view->model()->rowCount(view->rootIndex());
        else if (auto *combo = qobject_cast<QComboBox *>(w))
            have = combo->count();
        else
            return fail(name + " is no list");
        return std::to_string(have) == s.words[2] ? done()
                                                  : fail(name + " has " + std::to_string(have) + " rows");
    }
    if (verb == "expect-enabled" || verb == "expect-visible" || verb == "expect-bold") {
        if (s.words[2] != "yes" && s.words[2] != "no")
            return fail("yes or no");
        bool have = verb == "expect-enabled"   ? w->isEnabled()
                    : verb == "expect-visible" ? w->isVisible()
                                               : w->font().bold();
        return have == (s.words[2] == "yes") ? done()
                                             : fail(name + (have ? " is " : " is not ") + verb.substr(7));
    }
    return fail("unknown step");
}

int Runner::verdict(int status) {
    if (failed_)
        return 1;
    if (!shown_) {
        std::cerr << script_ << ": the wizard ended with status " << status
                  << " before its sheet was shown\n";
        return 1;
    }
    long pending = active_ >= 0 ? active_ : long(next_);
    if (size_t(pending) < steps_.size()) {
        std::cerr << where(steps_[size_t(pending)]) << ": the wizard closed before this step\n";
        return 1;
    }
    return status;
}

int usage() {
    std::cerr << "usage: wizard_driver [-shots DIR] [-timeout SECONDS] SCRIPT [wizard words...]\n";
    return 2;
}

}   // namespace

int main(int argc, char **argv) {
    Clock::time_point process_start = Clock::now() - std::chrono::duration_cast<Clock::duration>(
                                                         std::chrono::duration<double>(seconds_since_exec()));
    std::string shots = ".";
    double timeout = 120;
    int i = 1;
    for (; i + 1 < argc && argv[i][0] == '-'; i += 2) {
        if (std::string(argv[i]) == "-shots")
            shots = argv[i + 1];
        else if (std::string(argv[i]) == "-timeout" && std::atof(argv[i + 1]) > 0)
            timeout = std::atof(argv[i + 1]);
        else
            return usage();
    }
    if (i >= argc)
        return usage();
    std::string script = argv[i];
    std::vector<Step> steps;
    if (!read_script(script, &steps)) {
        std::cerr << "wizard_driver: cannot read " << script << "\n";
        return 2;
    }
    if (steps.empty()) {
        std::cerr << script << ": no steps\n";
        return 2;
    }
    // The offscreen platform says on every page change that it cannot do
    // what a window manager would; that says nothing about the wizard.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &ctx, const QString &msg) {
        if (!msg.contains("propagateSizeHints"))
            std::cerr << qPrintable(qFormatLogMessage(type, ctx, msg)) << std::endl;
    });
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    std::vector<char *> wizard_argv{argv[0]};
    for (int w = i + 1; w < argc; ++w)
        wizard_argv.push_back(argv[w]);
    wizard_argv.push_back(nullptr);
    Runner runner(script, std::move(steps), shots, timeout, process_start);
    WizAppHooks hooks;
    hooks.shown = [&runner](SheetImport &sheet) { runner.start(sheet); };
    hooks.no_view = [&script](QMessageBox &box) {   // nobody would close it
        std::cerr << script << ": " << box.text().toStdString() << std::endl;
        box.done(QMessageBox::Ok);
    };
    int status = wiz_app_main(int(wizard_argv.size() - 1), wizard_argv.data(), &hooks);
    return runner.verdict(status);
}
