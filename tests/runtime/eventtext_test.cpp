// The author map's reader, the encoding converter and their use on a record.
#include <gtest/gtest.h>

#include "runtime/eventtext.h"

namespace {

TEST(AuthorMap, LinesCommentsCaseAndFaultsByLine) {
    author_map m;
    std::string why;
    ASSERT_EQ(authormap_parse("# people\n\n  jose = José Núñez <jose@x.org>  # a comment\r\n"
                              "John Smith=John <j#1@x>\nbob = Bob\njose = José Núñez <jose@x.org>\n",
                              "m", &m, &why),
              0)
        << why;
    EXPECT_EQ(*authormap_find(m, "jose"), "José Núñez <jose@x.org>");
    EXPECT_EQ(*authormap_find(m, "John Smith"), "John <j#1@x>");   // "#" inside the mail
    EXPECT_EQ(*authormap_find(m, "JOSE"), "José Núñez <jose@x.org>");
    EXPECT_EQ(authormap_find(m, "alice"), nullptr);

    const std::pair<const char *, const char *> faults[] = {
        {"a = A\nno equals\n", "m, line 2: no \"=\" in \"no equals\" (write login = Full Name <mail>)"},
        {" = A\n", "m, line 1: no login before \"=\""},
        {"a =   # none\n", "m, line 1: no name after \"=\""},
        {"a = A <a@x\n", "m, line 1: the mail address is not written as <mail>"},
        {"a = A <a@x> more\n", "m, line 1: the mail address \"<...>\" must end the line and come once"},
        {"a = A <>\n", "m, line 1: the mail address \"<>\" is empty"},
        {"a = Jos\xe9\n", "m, line 1: the line is not UTF-8 (write the map in UTF-8)"},
        {"a = A\n\nb = B\na = C\n", "m, line 4: \"a\" is mapped at line 1 already, to \"A\""},
    };
    for (const auto &[text, want] : faults) {
        author_map bad;
        EXPECT_EQ(authormap_parse(text, "m", &bad, &why), 1) << text;
        EXPECT_EQ(why, want);
    }
    EXPECT_EQ(authormap_read("/nonexistent/map", &m, &why), 1);
    EXPECT_EQ(why, "/nonexistent/map: No such file or directory");
}

TEST(TextEncoding, NamesConversionAndBytesKept) {
    textenc e;
    EXPECT_EQ(textenc_open("klingon", &e), 1);
    EXPECT_EQ(textenc_open("latin1//TRANSLIT", &e), 1);   // iconv's suffixes change what a failure does
    struct Case {
        const char *encoding, *in, *out;
        std::vector<size_t> kept;
    };
    const Case cases[] = {
        {"latin-1", "caf\xe9", "caf\xc3\xa9", {}},
        {"cp1252", "\x93q\x94 \x81", "\xe2\x80\x9cq\xe2\x80\x9d \x81", {4}},
        {"shift_jis", "\x93\xfa\x96\x7b", "\xe6\x97\xa5\xe6\x9c\xac", {}},   // 日本
        {"shift_jis", "a\x82", "a\x82", {1}},                                // cut short at the end
        {"EUC-JP", "\xc6\xfc", "\xe6\x97\xa5", {}},
    };
    for (const Case &c : cases) {
        ASSERT_EQ(textenc_open(c.encoding, &e), 0) << c.encoding;
        std::string out;
        std::vector<size_t> kept;
        textenc_convert(e, c.in, &out, &kept);
        EXPECT_EQ(out, c.out) << c.encoding << " " << c.in;
        EXPECT_EQ(kept, c.kept) << c.encoding << " " << c.in;
    }
}

TEST(EventText, ConvertedOnceNamedByTheMapOriginalsKept) {
    author_map m;
    std::string why;
    ASSERT_EQ(authormap_parse("jos\xc3\xa9 = Jos\xc3\xa9 N <j@x>\n", "m", &m, &why), 0);
    textenc latin;
    ASSERT_EQ(textenc_open("latin1", &latin), 0);
    eventtext_opts o{&m, &latin};
    std::optional<std::string> user = "jos\xe9", group = "staff", name = "Unknown", comment = "caf\xe9";
    std::vector<std::string> attrs = {"RCS_STATE=Exp"};
    eventtext_tally tally;
    eventtext_record rec{&user, &group, &name, &comment, &attrs};
    eventtext_apply(o, rec, "f 1.1", &tally);
    EXPECT_EQ(*user, "jos\xc3\xa9");   // converted, then found in the map
    EXPECT_EQ(*name, "Jos\xc3\xa9 N <j@x>");
    EXPECT_EQ(*comment, "caf\xc3\xa9");
    EXPECT_EQ(attrs, (std::vector<std::string>{"RCS_STATE=Exp", "ORIGINAL_USER=jos\xe9", "ORIGINAL_ENCODING=latin1",
                                               "ORIGINAL_COMMENT=caf\xe9"}));
    // Once more (the importer after the exporter): nothing changes.
    eventtext_apply(o, rec, "f 1.1", &tally);
    EXPECT_EQ(attrs.size(), 4u);
    EXPECT_EQ(*comment, "caf\xc3\xa9");
    EXPECT_EQ(tally.converted, 2);
    // A text converted before keeps its form even when it is not UTF-8 yet.
    std::optional<std::string> kept = "\x81", none;
    std::vector<std::string> had = {"ORIGINAL_COMMENT=\x81"};
    eventtext_apply(o, {&none, &none, &none, &kept, &had}, "g 1", &tally);
    EXPECT_EQ(*kept, "\x81");
    EXPECT_EQ(had.size(), 1u);

    // An unmapped login counts; the template lists every login, a name
    // that only repeats the login left out.
    std::optional<std::string> bob = "bob", bob_name = "bob";
    std::vector<std::string> none_attrs;
    eventtext_apply(o, {&bob, nullptr, &bob_name, nullptr, &none_attrs}, "f 1.2", &tally);
    EXPECT_EQ(tally.unmapped, (std::map<std::string, long>{{"bob", 1}}));
    EXPECT_EQ(eventtext_unmapped_lines(tally), (std::vector<std::string>{"bob (1 event)"}));
    eventtext_opts no_encoding{&m, nullptr};
    std::optional<std::string> raw = "r\xe9";
    eventtext_apply(no_encoding, {&raw, nullptr, nullptr, nullptr, &none_attrs}, "f 1.3", &tally);
    EXPECT_EQ(eventtext_map_template(o, tally),
              "bob =                                   # 1 event, not in the map\n"
              "jos\xc3\xa9 = Jos\xc3\xa9 N <j@x>                     # 2 events\n"
              "r\\xe9 =                                 # 1 event, not in the map; not UTF-8: name the store's "
              "encoding\n");
}

}   // namespace
