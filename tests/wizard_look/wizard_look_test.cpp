// The wizard's fonts and pictures on the offscreen platform. The pictures
// are also saved as PNG files (LOOK_PNG_DIR) to be looked at.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFontDatabase>
#include <QLabel>

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "wizard/gui/gui_look.h"

namespace {

struct Locale {
    const char *lc_all, *lc_messages, *lang;   // null: unset
    bool japanese;
};

void set_env(const char *name, const char *value) {
    if (value)
        qputenv(name, value);
    else
        qunsetenv(name);
}

}   // namespace

TEST(WizardLook, Fonts) {
    const char *names[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
    std::vector<std::optional<QByteArray>> saved;
    for (const char *n : names)
        saved.push_back(qEnvironmentVariableIsSet(n) ? std::optional(qgetenv(n)) : std::nullopt);
    const Locale cases[] = {
        {nullptr, nullptr, "ja_JP.UTF-8", true},
        {nullptr, nullptr, "ja", true},
        {nullptr, nullptr, "en_US.UTF-8", false},
        {nullptr, nullptr, nullptr, false},
        {"", "", "ja_JP.UTF-8", true},   // set but empty: the next one decides
        {"C", nullptr, "ja_JP.UTF-8", false},
        {nullptr, "ja_JP.eucJP", "en_US", true},
    };
    for (const Locale &c : cases) {
        SCOPED_TRACE(std::string(c.lc_all ? c.lc_all : "-") + " " + (c.lc_messages ? c.lc_messages : "-") +
                     " " + (c.lang ? c.lang : "-"));
        set_env("LC_ALL", c.lc_all);
        set_env("LC_MESSAGES", c.lc_messages);
        set_env("LANG", c.lang);
        EXPECT_EQ(wiz_ui_is_japanese(), c.japanese);

        QWidget top, by_pixels;
        top.setFont(QFont("DejaVu Sans", 10));
        auto *child = new QLabel("child", &top);
        auto *own = new QLabel("own font", &top);
        own->setFont(QFont("DejaVu Serif", 8));
        auto *grandchild = new QLabel("grandchild", child);
        grandchild->setFont(QFont("DejaVu Sans", 7));
        QFont pixels("DejaVu Sans");
        pixels.setPixelSize(20);
        by_pixels.setFont(pixels);
        for (int round = 0; round < 2; ++round) {   // the second call changes nothing
            wiz_apply_dialog_font(&top);
            wiz_apply_dialog_font(&by_pixels);
        }
        const double want = c.japanese ? 10 : 11;
        EXPECT_DOUBLE_EQ(top.font().pointSizeF(), want);
        EXPECT_DOUBLE_EQ(child->font().pointSizeF(), want);
        EXPECT_DOUBLE_EQ(own->font().pointSizeF(), c.japanese ? 8 : want);
        EXPECT_EQ(own->font().family(), c.japanese ? "DejaVu Serif" : "DejaVu Sans");
        EXPECT_DOUBLE_EQ(grandchild->font().pointSizeF(), 7);
        EXPECT_EQ(by_pixels.font().pixelSize(), c.japanese ? 20 : 22);
    }
    for (std::size_t i = 0; i < saved.size(); ++i)
        set_env(names[i], saved[i] ? saved[i]->constData() : nullptr);

    const QFont title = wiz_title_font();
    EXPECT_TRUE(title.bold());
    EXPECT_FALSE(title.italic());
    EXPECT_DOUBLE_EQ(title.pointSizeF(), 12);
    ASSERT_FALSE(title.family().isEmpty());
    if (QFontDatabase::hasFamily("Verdana"))
        EXPECT_EQ(title.family(), "Verdana");
    else
        EXPECT_TRUE(QFontDatabase::hasFamily(title.family())) << title.family().toStdString();
}

TEST(WizardLook, Pictures) {
    struct Icon {
        const char *name;
        QIcon icon;
        QList<QSize> sizes;
    };
    const QList<QSize> small = {{16, 16}, {32, 32}};
    const Icon icons[] = {
        {"done", wiz_done_icon(), small},
        {"failure", wiz_failure_icon(), small},
        {"error", wiz_error_icon(), {{32, 32}, {48, 48}}},
        {"folder", wiz_tree_icon(wiz_icon::FOLDER), small},
        {"file", wiz_tree_icon(wiz_icon::PLAIN_FILE), small},
        {"archive", wiz_tree_icon(wiz_icon::ARCHIVE), small},
        {"database", wiz_tree_icon(wiz_icon::SSAFE_DATABASE), small},
        {"project", wiz_tree_icon(wiz_icon::SSAFE_PROJECT), small},
        {"ssafe_file", wiz_tree_icon(wiz_icon::SSAFE_FILE), small},
        {"vob", wiz_tree_icon(wiz_icon::VOB), small},
    };
    const qreal ratio = std::max<qreal>(1, std::ceil(qApp->devicePixelRatio()));
    const QString dir = QStringLiteral(LOOK_PNG_DIR "/x%1/").arg(ratio);
    QDir().mkpath(dir);
    std::vector<QImage> seen;
    for (const Icon &i : icons) {
        SCOPED_TRACE(i.name);
        ASSERT_FALSE(i.icon.isNull());
        EXPECT_EQ(i.icon.availableSizes(), i.sizes);
        for (const QSize &s : i.sizes) {
            const QImage image = i.icon.pixmap(s, 1.0).toImage();
            ASSERT_EQ(image.size(), s);
            EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0) << "the ground shows through";
            EXPECT_EQ(qAlpha(image.pixel(s.width() / 2, s.height() / 2)), 255) << "the middle is drawn";
            image.save(dir + i.name + "_" + QString::number(s.width()) + ".png");
        }
        const QImage at32 = i.icon.pixmap(QSize(32, 32), 1.0).toImage();
        for (const QImage &other : seen)
            EXPECT_NE(at32, other) << "each icon is its own picture";
        seen.push_back(at32);
    }

    const QPixmap header = wiz_header_pixmap(), watermark = wiz_watermark_pixmap();
    ASSERT_FALSE(header.isNull());
    ASSERT_FALSE(watermark.isNull());
    EXPECT_EQ(header.deviceIndependentSize(), QSizeF(49, 49));
    EXPECT_EQ(header.size(), QSize(49, 49) * ratio);
    EXPECT_EQ(watermark.deviceIndependentSize(), QSizeF(164, 500));
    EXPECT_EQ(watermark.size(), QSize(164, 500) * ratio);
    const QImage h = header.toImage(), w = watermark.toImage();
    EXPECT_EQ(qAlpha(h.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(h.pixel(h.width() - 1, 0)), 0);
    EXPECT_EQ(qAlpha(w.pixel(0, 0)), 255);
    EXPECT_EQ(qAlpha(w.pixel(w.width() - 1, w.height() - 1)), 255);
    EXPECT_LT(qGray(w.pixel(0, 0)), qGray(w.pixel(0, w.height() - 1))) << "light rises from the bottom";
    header.save(dir + "header.png");
    watermark.save(dir + "watermark.png");
}

int main(int argc, char **argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
