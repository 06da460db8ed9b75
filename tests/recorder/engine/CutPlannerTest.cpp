#include "recorder/engine/CutPlanner.h"
#include "tests/support/Audio.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

using namespace recorder;

namespace {

// Songs as the planner hands them out: each title with its bytes.
struct Songs {
    std::vector<std::pair<std::string, std::string>> list;
    CutPlanner::Write write() {
        return [this](const std::uint8_t* bytes, std::size_t length) {
            ASSERT_FALSE(list.empty()) << "audio written before the first song";
            list.back().second.append(reinterpret_cast<const char*>(bytes), length);
        };
    }
    CutPlanner::StartSong startSong() {
        return [this](const std::string& title) { list.push_back({title, {}}); };
    }
    std::string all() const {
        std::string bytes;
        for (const auto& song : list)
            bytes += song.second;
        return bytes;
    }
};

TEST(CutPlanner, HoldsBackNoMoreThanTheWindowWhateverTheBlockSize) {
    testsupport::TempDir dir;
    // 30 s of 128 kbit/s with a silence every 6 s, sent over and over.
    const std::string mp3 = testsupport::encodeMp3(
        {{5.5, 440}, {0.5, 0}, {5.5, 550}, {0.5, 0}, {5.5, 660}, {0.5, 0}, {5.5, 440}, {0.5, 0}, {5.5, 550}, {0.5, 0}},
        128, dir.path());
    for (const std::size_t block : {std::size_t{4096}, std::size_t{16000}, std::size_t{1} << 20}) {
        SCOPED_TRACE(block);
        Songs songs;
        CutPlanner planner(songs.write(), songs.startSong(), 5, 5, 16000);
        std::string sent;
        std::size_t mostHeld = 0;
        const std::size_t total = 8u << 20; // eight minutes
        for (std::size_t at = 0, n = 0; at < total; at += block, ++n) {
            std::string audio;
            while (audio.size() < block)
                audio += mp3.substr((at + audio.size()) % mp3.size(), block - audio.size());
            planner.addAudio(reinterpret_cast<const std::uint8_t*>(audio.data()), audio.size());
            sent += audio;
            // A title about every 40 s, at the end of a block.
            if (n == 0 || (at / 640000 != (at + block) / 640000))
                planner.titleChanged("Song " + std::to_string(n));
            mostHeld = std::max(mostHeld, planner.heldBack());
        }
        EXPECT_LE(mostHeld, 5u * 16000 + 5u * 16000 + block) << "held back beyond the window and one block";
        planner.finish();
        EXPECT_EQ(planner.heldBack(), 0u);
        EXPECT_GE(songs.list.size(), 8u);
        EXPECT_TRUE(songs.all() == sent) << "the songs do not add up to the audio";
    }
}

TEST(CutPlanner, AudioBeforeTheFirstTitleBelongsToTheFirstSong) {
    Songs songs;
    CutPlanner planner(songs.write(), songs.startSong(), 5, 5, 16000);
    const std::string noise(3000, 'x');
    planner.addAudio(reinterpret_cast<const std::uint8_t*>(noise.data()), noise.size());
    EXPECT_TRUE(songs.list.empty());
    planner.titleChanged("First");
    planner.addAudio(reinterpret_cast<const std::uint8_t*>(noise.data()), noise.size());
    planner.titleChanged("Second"); // no frames to search: cut at the title itself
    planner.finish();
    ASSERT_EQ(songs.list.size(), 2u);
    EXPECT_EQ(songs.list[0].second, noise + noise);
    EXPECT_EQ(songs.list[1].second, "");
}

} // namespace
