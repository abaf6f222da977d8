// The project work of the import wizard against the import it follows: one
// flat-file request of a generated tree into a VOB whose root is a
// component of a project, run as the wizard runs it (export, then import
// in process), then the project worker's label type, labels and import
// baseline. Prints both wall times and their ratio (goal: a small fraction).
// Usage: project_bench TREE (VANTOR_HOME and VANTOR_TOOL_DIR set by the script)
#include <chrono>
#include <cstdio>
#include <string>

#include "platform/orbis/orbis.h"
#include "platform/registry/vob_tag.h"
#include "wizard/wiz_project.h"
#include "wizard/wiz_sheet.h"
#include "wizard/wiz_task.h"
#include "wizard/wiz_dest.h"

static double now() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

static int fail(const std::string &what) {
    std::fprintf(stderr, "project_bench: %s\n", what.c_str());
    return 1;
}

int main(int argc, char **argv) {
    if (argc != 2)
        return fail("usage: project_bench TREE");
    std::string tree = argv[1], err;
    vob_t *pvob = nullptr;
    vob_oid comp = 0, project = 0;
    if (vob_make("/bench", "", 0, nullptr, &err) != VOB_OK || vob_make("/pbench", "", 1, nullptr, &err) != VOB_OK ||
        vob_open_tag("/pbench", &pvob, &err) != VOB_OK)
        return fail(err);
    if (orb_component_create(pvob, "bench", "/bench", "", nullptr, &comp) != VOB_OK ||
        orb_project_create(pvob, "bench", "Bench", nullptr, &project) != VOB_OK ||
        orb_project_add_mod_comp(pvob, project, comp) != VOB_OK)
        return fail(vob_errmsg(pvob));
    vob_close(pvob);

    SheetModel sheet(WizCommandLine::parse("/project:bench /pvob:/pbench /comp:bench"));
    try {
        TempSnapshotView view;
        size_t cut = tree.rfind('/');
        auto repo = std::make_unique<LegacyRepository>(LegacyKind::get(LegacyKind::FFILE), tree.substr(0, cut));
        auto obj = std::make_unique<LegacyObject>(std::move(repo), tree.substr(cut + 1), tree.substr(cut + 1));
        auto task = std::make_unique<ImportTask>(std::move(obj),
                                                 std::make_unique<ImportDestination>(&view, "/bench", ""));
        ImportTask *t = task.get();
        sheet.add(std::move(task));
        double t0 = now();
        t->run([](const ImportEvent &) {}, nullptr);
        double t1 = now();
        sheet.close_batch();
        std::string failure;
        long steps = 0;
        wiz_project_work(sheet, [&](const ProjectEvent &ev) {
            if (ev.kind == ProjectEvent::STEP)
                steps++;
            if (ev.kind == ProjectEvent::FAILED)
                failure = ev.error->message();
        });
        double t2 = now();
        if (!failure.empty())
            return fail(failure);
        std::printf("import of %ld elements: %.2f s\n", t->elements_examined(), t1 - t0);
        std::printf("label type, %ld labels and the import baseline: %.2f s\n", steps, t2 - t1);
        std::printf("ratio project work / import: %.3f\n", (t2 - t1) / (t1 - t0));
    } catch (const VantorException &e) {
        return fail(e.message());
    }
    return 0;
}
