// Loading plug-in files: which files the dialog lists, which effects are refused and
// why, the temporary copy each instance runs from, and the frame counts a plug-in
// returns. Hostile files must be refused without harm to the program.

#include "tests/ScratchDir.h"

#include "audio/dsp/PluginCatalogue.h"
#include "audio/dsp/PluginLibrary.h"
#include "audio/dsp/WinampDspPlugin.h"

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string fixture(const std::string& name) {
    return std::string(ZV_DSP_FIXTURES_DIR) + "/dsp_" + name + ".so";
}

std::vector<std::string> filesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A copy of a plug-in file that claims another machine (32-bit ARM) in its ELF header.
std::string foreignArchitecture(const ScratchDir& dir) {
    std::vector<uint8_t> bytes = readBytes(fixture("counts"));
    bytes[4] = 1;   // ELFCLASS32
    bytes[18] = 40; // EM_ARM
    bytes[19] = 0;
    return dir.write("dsp_arm.so", bytes);
}

} // namespace

TEST(PluginFiles, OnlyReadablePluginsAreListed) {
    ScratchDir dir;
    for (const auto& entry : fs::directory_iterator(ZV_DSP_FIXTURES_DIR))
        fs::copy_file(entry.path(), dir.path(entry.path().filename().string()));
    dir.write("dsp_text.so", "not a shared object\n");
    dir.write("dsp_empty.so", "");
    foreignArchitecture(dir);
    fs::copy_file(ZV_DSP_SHIPPED, dir.path("DSP_Upper.SO"));
    fs::copy_file(ZV_DSP_SHIPPED, dir.path("effects.so")); // not named dsp_*

    std::vector<std::string> listed;
    for (const PluginFile& file : findPlugins({dir.path("missing-folder"), dir.path("")}))
        listed.push_back(fs::path(file.path).filename().string());
    // Refused: no header function (broken), a missing symbol, a null header, no module
    // function, a description that never ends or points nowhere, text, empty, ARM.
    // Listed although their effects fail later: no module, failing Init, read-only.
    EXPECT_EQ(listed, (std::vector<std::string>{"DSP_Upper.SO", "dsp_counts.so", "dsp_endless.so",
                                                "dsp_init_fails.so", "dsp_no_module.so",
                                                "dsp_old_name.so", "dsp_read_only.so"}));
    std::vector<std::string> modules; // a header that never ends its list
    ASSERT_TRUE(listModules(fixture("endless"), &modules));
    EXPECT_EQ(modules.size(), size_t(kMaxPluginModules));
}

TEST(PluginFiles, ForeignTextIsReadOnlyUpToItsTerminatorAndMappedMemory) {
    const long page = sysconf(_SC_PAGESIZE);
    char* pages = static_cast<char*>(mmap(nullptr, size_t(2 * page), PROT_READ | PROT_WRITE,
                                          MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(pages, MAP_FAILED);
    ASSERT_EQ(mprotect(pages + page, size_t(page), PROT_NONE), 0);
    char* last = pages + page - 4; // "abc" and its terminator end the readable page
    std::copy_n("abc", 4, last);

    EXPECT_EQ(readForeignText(last), "abc");
    EXPECT_EQ(readForeignText(last, 3), std::nullopt); // no terminator within 3 bytes
    last[3] = 'd';                                     // runs into the unreadable page
    EXPECT_EQ(readForeignText(last), std::nullopt);
    EXPECT_EQ(readForeignText(nullptr), std::nullopt);

    const char value = 7;
    EXPECT_FALSE(writeForeignBytes(pages + page, &value, 1));
    EXPECT_TRUE(writeForeignBytes(pages, &value, 1));
    EXPECT_EQ(pages[0], 7);
    munmap(pages, size_t(2 * page));
}

TEST(PluginInstance, RefusedEffectsSayWhyAndLeaveNoCopy) {
    ScratchDir dir;
    const std::string text = dir.write("dsp_text.so", "not a shared object\n");
    const std::string arm = foreignArchitecture(dir);
    const fs::path copies = dir.path("copies");
    fs::create_directory(copies);
    std::vector<std::pair<std::string, int>> cases = {
        {"", 0}, {text, 0}, {arm, 0}, {fixture("counts"), 4}, {fixture("counts"), -1}};
    for (const char* name :
         {"broken", "missing_symbol", "null_header", "no_module", "init_fails", "read_only"})
        cases.emplace_back(fixture(name), 0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first + " #" + std::to_string(c.second));
        WinampDspPlugin plugin(c.first, c.second, nullptr, {copies.string()});
        EXPECT_FALSE(plugin.loaded());
        EXPECT_FALSE(plugin.error().empty());
        Frame frames[4] = {1, 2, 3, 4};
        EXPECT_EQ(plugin.process(frames, 2), 2); // without an effect the sound passes
        EXPECT_EQ(frames[0], 1u);
    }
    EXPECT_TRUE(filesIn(copies.string()).empty());
}

TEST(PluginInstance, TemporaryCopyLivesExactlyAsLongAsTheInstance) {
    ScratchDir dir;
    const std::string copies = dir.path("copies");
    fs::create_directory(copies);
    const std::string noFolder = dir.path("no-such-folder");
    {
        // The first folder cannot take a copy: the next one does.
        WinampDspPlugin plugin(ZV_DSP_SHIPPED, 0, nullptr, {noFolder, copies});
        ASSERT_TRUE(plugin.loaded()) << plugin.error();
        const std::vector<std::string> names = filesIn(copies);
        ASSERT_EQ(names.size(), 1u);
        EXPECT_EQ(plugin.tempCopy(), copies + "/" + names[0]);
        EXPECT_TRUE(names[0].starts_with("zvd") && names[0].ends_with(".so"));
        EXPECT_EQ(readBytes(plugin.tempCopy()), readBytes(ZV_DSP_SHIPPED));
    }
    EXPECT_TRUE(filesIn(copies).empty());

    // No folder takes a copy: the file itself runs, once, and is never deleted.
    auto first = std::make_unique<WinampDspPlugin>(ZV_DSP_SHIPPED, 2, nullptr,
                                                   std::vector<std::string>{noFolder});
    ASSERT_TRUE(first->loaded()) << first->error();
    EXPECT_TRUE(first->tempCopy().empty());
    WinampDspPlugin second(ZV_DSP_SHIPPED, 2, nullptr, {noFolder});
    EXPECT_FALSE(second.loaded()); // the same running effect would serve two decks
    first.reset();
    EXPECT_TRUE(fs::exists(ZV_DSP_SHIPPED));
    WinampDspPlugin third(ZV_DSP_SHIPPED, 2, nullptr, {noFolder});
    EXPECT_TRUE(third.loaded()) << third.error();
}

TEST(PluginInstance, ReturnedFrameCountsAreHonouredWithinTheBuffer) {
    const struct {
        int module;
        int expected; // for 100 frames in a buffer of 200
    } cases[] = {{0, 50}, {1, 200}, {2, 200}, {3, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.module);
        WinampDspPlugin plugin(fixture("counts"), c.module);
        ASSERT_TRUE(plugin.loaded()) << plugin.error();
        std::vector<Frame> frames(200);
        for (int i = 0; i < 100; ++i)
            frames[i] = makeFrame(int16_t(i), int16_t(-i));
        EXPECT_EQ(plugin.process(frames.data(), 100), c.expected);
        if (c.module == 1) { // every frame twice, in order
            EXPECT_EQ(frames[199], makeFrame(99, -99));
        }
    }
}
