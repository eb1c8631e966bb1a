// tesvano-cli say --from: a list of texts in, one clip per row, checked
// against clips made one at a time and by a decoder nobody here wrote.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>

#include "tests/support/audio_tools.h"
#include "tests/support/temp_dir.h"

namespace tesvano {
namespace {

namespace fs = std::filesystem;
const std::string kBin = TESVANO_BIN_DIR;
const std::string kCli = kBin + "/tesvano-cli";

struct CliRun {
    int status = -1;
    std::string out, err;
};

CliRun Cli(std::vector<std::string> args) {
    args.insert(args.begin(), kCli);
    CliRun r;
    r.status = test::RunProgram(args, &r.out, &r.err);
    return r;
}

std::vector<uint8_t> Bytes(const std::string& path) { return test::ReadFileBytes(path); }

std::vector<std::string> FilesIn(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// 50 rows: Chinese and English, quotes and commas inside cells, voices by
// index and by name, a row's own kind and music; the rest take the options
// given beside --from.
TEST(SayList, FiftyRowsBecomeFiftyClipsAsIfMadeOneByOne) {
    if (!test::ProgramExists("mpg123")) GTEST_SKIP() << "mpg123 missing";
    test::TempDir dir;
    const std::string made = dir / "made", single = dir / "single";
    fs::create_directories(made);
    fs::create_directories(single);
    struct Row {
        std::string text, name, voice, music, kind;
        std::string file;  // as it should be named
    };
    std::vector<Row> rows;
    for (int i = 0; i < 50; ++i) {
        Row r;
        switch (i % 5) {
        case 0: r.text = "欢迎光临，第" + std::to_string(i) + "号门，请注意安全。"; break;
        case 1: r.text = "Closing in " + std::to_string(i) + " minutes, \"please\" hurry"; break;
        case 2: r.text = "No parking, row " + std::to_string(i); break;
        case 3: r.text = "请勿停车 " + std::to_string(i); break;
        case 4: r.text = "Line one\nline two " + std::to_string(i); break;
        }
        if (i % 3 == 0) r.name = "clip-" + std::to_string(i);
        if (i % 4 == 1) r.voice = "henry";
        if (i % 4 == 2) r.voice = "小燕";
        if (i % 7 == 3) r.music = "doorbell";
        if (i == 10) r.kind = "wav";
        rows.push_back(r);
    }
    const auto quoted = [](const std::string& s) {
        std::string q = "\"";
        for (char c : s) q += c == '"' ? std::string("\"\"") : std::string(1, c);
        return q + "\"";
    };
    std::ofstream list(dir / "list.csv");
    list << "\xEF\xBB\xBFText,name,voice,music,kind\r\n";
    for (const Row& r : rows)
        list << quoted(r.text) << "," << r.name << "," << r.voice << "," << r.music << "," << r.kind << "\r\n";
    list.close();

    const CliRun run = Cli({"say", "--from", dir / "list.csv", "--dir", made, "--voice", "catherine", "--mode", "1"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("50 made, 0 failed"), std::string::npos) << run.err;
    // The log keeps the rows' order, numbered as one run.
    std::vector<std::string> saved;
    const std::regex line("(\\d{4}): (MP3|PCM ) file saved:[^\\n]*/([^/\\n]+)\\n");
    int number = 0;
    for (std::sregex_iterator m(run.out.begin(), run.out.end(), line), end; m != end; ++m) {
        saved.push_back((*m)[3]);
        EXPECT_GT(std::stoi((*m)[1]), number);
        number = std::stoi((*m)[1]);
    }
    ASSERT_EQ(saved.size(), 50u) << run.out;
    EXPECT_EQ(FilesIn(made).size(), 50u);

    for (size_t i = 0; i < rows.size(); ++i) {
        const Row& r = rows[i];
        const std::string extension = r.kind == "wav" ? ".wav" : ".mp3";
        std::vector<std::string> args = {"say", "--dir", single, "--voice", r.voice.empty() ? "catherine" : r.voice,
                                          "--mode", "1", "--name", "row", "--kind", r.kind.empty() ? "mp3" : r.kind};
        if (!r.music.empty()) args.insert(args.end(), {"--music", r.music});
        // Every fifth row is checked against the same text said on its own.
        if (i % 5 != 4 && i % 7 != 3 && i != 10) continue;
        args.insert(args.end(), {"--", r.text});
        const CliRun one = Cli(args);
        ASSERT_EQ(one.status, 0) << one.err;
        ASSERT_LT(i, saved.size());
        const std::string name = saved[i];
        if (!r.name.empty()) {
            EXPECT_EQ(name, r.name + extension);
        }
        EXPECT_EQ(Bytes(made + "/" + name), Bytes(single + "/row" + extension)) << "row " << i + 2 << ": " << name;
    }
    // Names made from the text, as say makes them.
    EXPECT_EQ(saved[1], "Closing in 1 minutes.mp3");
    EXPECT_EQ(saved[4], "Line oneline two 4.mp3");
    std::vector<int16_t> pcm;
    ASSERT_TRUE(test::DecodeWithMpg123(made + "/" + saved[3], &pcm, true));
    EXPECT_GT(pcm.size(), 16000u / 2);
}

// Bad rows are told by number and skipped; rows that would write one file
// stop the whole list before anything is written.
TEST(SayList, BadRowsAreSkippedAndCollidingRowsStopTheList) {
    const struct Case {
        const char* name;
        std::string list;
        std::vector<std::string> options;
        int status;
        std::vector<const char*> says;
        size_t files;
    } cases[] = {
        {"bad cells",
         "text\tvoice\tvolume\tmusic\tfit\n"
         "fine\t\t\t\t\n"
         "x\tnobody\t\t\t\n"
         "y\t\tloud\t\t\n"
         "z\t\t\t/nonexistent/own.mp3\t\n"
         "w\t\t\t\tmaybe\n"
         "\t\t\t\t\n"
         "also fine\t1\t80\t\tno\n",
         {},
         1,
         {"row 3: no voice 'nobody', skipped", "row 4: volume 'loud' is not 0 to 100",
          "row 5: no background music '/nonexistent/own.mp3'", "row 6: fit 'maybe' is not yes or no", "row 7: no text",
          "2 made, 5 failed"},
         2},
        {"colliding names",
         "text,name\nfirst,same\nsecond,\nthird,same\nsecond\n",
         {},
         1,
         {"rows 2 and 4 would both write", "rows 3 and 5 would both write", "nothing made"},
         0},
        {"G.711 at 16000", "text,kind,rate\nfine,alaw,\nbad,ulaw,16000\n", {}, 1,
         {"row 3: alaw and ulaw are 8000 Hz, not 16000", "1 made, 1 failed"}, 1},
        {"no header, text with commas", "Hello, world\n\n-- not an option\n", {}, 0, {"2 made, 0 failed"}, 2},
        {"unknown column", "text,colour\nx,red\n", {}, 1, {"unknown column 'colour'"}, 0},
        {"not UTF-8", "text\n\xff\xfe\n", {}, 1, {"not UTF-8 text"}, 0},
        {"a clip over 40960 bytes",
         "text\nshort\n\"" + [] {
             std::string t;
             for (int i = 0; i < 40; ++i) t += "This is a long announcement, read slowly. ";
             return t;
         }() + "\"\n",
         {},
         3,
         {"2 made, 0 failed, 1 over 40960 bytes"},
         2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        std::ofstream(dir / "list") << c.list;
        std::vector<std::string> args = {"say", "--from", dir / "list", "--dir", dir / "out", "--jobs", "3"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        fs::create_directories(dir / "out");
        const CliRun r = Cli(args);
        EXPECT_EQ(r.status, c.status) << r.err;
        for (const char* text : c.says) EXPECT_NE(r.err.find(text), std::string::npos) << text << "\n" << r.err;
        EXPECT_EQ(FilesIn(dir / "out").size(), c.files) << r.out;
    }
}

TEST(SayList, CompletionOffersCommandsOptionsAndVoices) {
    const std::string script = std::string(TESVANO_SOURCE_DIR) + "/packaging/bash-completion/tesvano-cli";
    const struct {
        std::vector<std::string> words;
        const char* offers;
    } cases[] = {
        {{"co"}, "convert"},
        {{"say", "--f"}, "--fit --from"},
        {{"convert", "--kind", ""}, "mp3 alaw ulaw"},
        {{"say", "--voice", "hen"}, "henry"},
        {{"say", "--music", "door"}, "doorbell"},
    };
    for (const auto& c : cases) {
        std::string program = "source \"$0\"; COMP_WORDS=(tesvano-cli";
        for (size_t i = 0; i < c.words.size(); ++i)
            if (i + 1 < c.words.size() || !c.words[i].empty()) program += " '" + c.words[i] + "'";
        program += c.words.back().empty() ? " '')" : ")";
        program += "; COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _tesvano_cli; echo \"${COMPREPLY[*]}\"";
        std::string out;
        ASSERT_EQ(test::RunProgram({"/usr/bin/env", "PATH=" + kBin + ":/usr/bin:/bin", "LC_ALL=C.UTF-8", "bash", "-c",
                                    program, script},
                                   &out),
                  0);
        EXPECT_EQ(out, std::string(c.offers) + "\n") << c.words.back();
    }
}

}  // namespace
}  // namespace tesvano
