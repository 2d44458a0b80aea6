// What the views show without a screen: the level state at its thresholds, the log filter,
// and the log read backwards in chunks and followed as it grows.
#include "console/viewlogic.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace qelp;

TEST(ViewLogic, LevelStatesAtTheirThresholdsAndTheirText) {
    // warning at 400 ml, minimum at 100 ml; a level exactly at a threshold counts as reached.
    for (auto [content, text] : {std::pair{100.0, "100 of 2000 ml, minimum"},
                                 {99.5, "99,5 of 2000 ml, minimum"},
                                 {100.5, "100,5 of 2000 ml, warning"},
                                 {400.0, "400 of 2000 ml, warning"},
                                 {400.5, "400,5 of 2000 ml, ok"}}) {
        const CanisterState c{1, 33, "Red Oxide", 2000, content, 400, 100, 0};
        EXPECT_EQ(LevelText(c, ','), std::string("Red Oxide: ") + text);
    }
    EXPECT_EQ(LevelFraction(2500, 2000), 1.0);
    EXPECT_EQ(LevelFraction(5, 0), 0.0);
}

TEST(ViewLogic, LogFilterIgnoresLetterCaseAndErrorsOnlyNeedsError) {
    const std::string line = "2026-12-06 10:00:00 > - Error: Grün canister";
    for (auto [text, errorsOnly, matches] : {std::tuple{"", false, true},
                                             {"GRÜN", false, true},
                                             {"error", true, true},
                                             {"blau", false, false}})
        EXPECT_EQ(LogLineMatches(line, {text, errorsOnly}), matches) << text;
    EXPECT_FALSE(LogLineMatches("10:00 > errors only by its word", {"", true}));
}

TEST(ViewLogic, LogIsReadBackwardsInChunksAndFollowed) {
    qelptest::TempDir dir;
    // The program names the file in Windows-1252; Linux holds its UTF-8 name, Windows' ANSI
    // calls take the code page's bytes as they are.
    const std::string programPath = dir.file("qelp\xe4.log");
#ifdef _WIN32
    const std::string path = programPath;
#else
    const std::string path = dir.file("qelp\xc3\xa4.log");
#endif
    std::vector<std::string> lines;
    std::string bytes;
    for (int i = 0; i < 40; ++i) { // every line end, and lines of every length
        const std::string stem = "line " + std::to_string(i) + std::string(size_t(i % 7), 'x');
        lines.push_back(stem + " Gr\xc3\xbcn");
        bytes += stem + " Gr\xfcn" + (i % 5 == 0 ? "\n" : i % 5 == 1 ? "\r" : "\r\n");
    }
    qelptest::WriteFile(path, bytes + "half");
    // Chunk sizes that cut CR LF pairs and lines at every place.
    for (size_t chunk : {16, 17, 23, 31, 64, 4096}) {
        LogTail tail(programPath, chunk);
        std::vector<std::string> read;
        while (!tail.atStart()) {
            std::vector<std::string> earlier = tail.readEarlier(3);
            ASSERT_TRUE(earlier.size() >= 3 || tail.atStart()) << chunk;
            read.insert(read.begin(), earlier.begin(), earlier.end());
        }
        EXPECT_EQ(read, lines) << chunk;
    }
    LogTail tail(programPath, 16);
    tail.readEarlier(1);
    bool restarted = true;
    EXPECT_TRUE(tail.readNew(restarted).empty() && !restarted);
    std::ofstream(path, std::ios::app | std::ios::binary) << " done\r";
    EXPECT_TRUE(tail.readNew(restarted).empty()); // the CR may be half of a CR LF
    std::ofstream(path, std::ios::app | std::ios::binary) << "\nnext\r\n";
    EXPECT_EQ(tail.readNew(restarted), (std::vector<std::string>{"half done", "next"}));
    qelptest::WriteFile(path, "new\r\n");
    EXPECT_TRUE(tail.readNew(restarted).empty() && restarted);
    EXPECT_EQ(tail.readEarlier(5), std::vector<std::string>{"new"});
}
