#include "exchange.h"
#include "testsupport.h"

#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>

using namespace qelpsim;
using qelptest::TempDir;

namespace {

// Milliseconds that waitForChange(timeout) slept while another thread created a file after
// a short delay.
long long sleptUntilWoken(Exchange& exchange, const std::string& file, int timeoutMs) {
    auto begin = std::chrono::steady_clock::now();
    std::thread writer([file] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        qelptest::WriteFile(file, "x");
    });
    while (!qelptest::Exists(file))
        exchange.waitForChange(timeoutMs);
    writer.join();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 begin)
        .count();
}

} // namespace

TEST(Exchange, NotificationEndsTheWaitEarly) {
    TempDir dir;
    Exchange ex(dir.path(), 60000, true);
    ASSERT_TRUE(ex.watching());
    // The timeout is a minute; only the notification can end the wait in time.
    EXPECT_LT(sleptUntilWoken(ex, dir.file("cmd.sig"), 60000), 30000);
}

TEST(Exchange, PollingFallbackStillSeesFiles) {
    TempDir dir;
    Exchange ex(dir.path(), 20, false);
    EXPECT_FALSE(ex.watching());
    sleptUntilWoken(ex, dir.file("cmd.sig"), 60000); // returns once polling sees the file
    EXPECT_TRUE(ex.exists(files::kCommandSignal));
}

TEST(Exchange, WatchFollowsARecreatedDirectory) {
    TempDir dir;
    std::string sub = dir.path() + "ex/";
    Exchange ex(sub, 20, true);
    EXPECT_FALSE(ex.watching()); // not there yet
    ex.waitForChange(20);
    std::filesystem::create_directory(sub);
    ex.waitForChange(20);
    EXPECT_TRUE(ex.watching());

    std::filesystem::remove(sub);
    for (int i = 0; i < 100 && ex.watching(); ++i)
        ex.waitForChange(20);
    EXPECT_FALSE(ex.watching());
    std::filesystem::create_directory(sub);
    ex.waitForChange(20);
    ASSERT_TRUE(ex.watching());
    sleptUntilWoken(ex, sub + "cmd.sig", 60000);
    EXPECT_TRUE(ex.exists(files::kCommandSignal));
}
