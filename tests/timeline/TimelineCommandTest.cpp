// The orvane-timeline dump command, run as a user would.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <regex>
#include <string>
#include <csignal>
#include <sys/ptrace.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct CommandRun {
    int exitCode = -1;
    std::string out;
};

CommandRun run(const std::string& args) {
    const std::string cmd = std::string(ORVANE_TIMELINE_BIN) + " " + args + " 2>&1";
    CommandRun r;
    FILE* pipe = popen(cmd.c_str(), "r");
    if (pipe == nullptr) {
        return r;
    }
    char buf[4096];
    std::size_t n = 0;
    while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) {
        r.out.append(buf, n);
    }
    const int status = pclose(pipe);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

// Runs the command with standard output and error thrown away and returns
// the peak resident memory of its own program in kilobytes (VmHWM, read when
// it exits), or 0 when it did not exit with 0. The figure the kernel keeps
// for a waited-for child (ru_maxrss) would include the memory of the forked
// test process before the exec, so the child is traced to its exit instead.
long peakMemoryKb(const std::vector<std::string>& args) {
    const pid_t child = ::fork();
    if (child == 0) {
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(ORVANE_TIMELINE_BIN));
        for (const std::string& a : args) {
            argv.push_back(const_cast<char*>(a.c_str()));
        }
        argv.push_back(nullptr);
        // LeakSanitizer stops the world with ptrace, which a traced program
        // cannot; the leak checks run in the other tests.
        ::setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
        std::freopen("/dev/null", "w", stdout);
        std::freopen("/dev/null", "w", stderr);
        ::ptrace(PTRACE_TRACEME, 0, nullptr, nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    if (child < 0) {
        return 0;
    }
    long peakKb = 0;
    int status = 0;
    bool options = false;
    while (::waitpid(child, &status, 0) == child) {
        if (WIFEXITED(status) || WIFSIGNALED(status)) {
            break;
        }
        if (!WIFSTOPPED(status)) {
            continue;
        }
        int forward = 0;
        if (!options) {
            // The stop at the exec: from here on, stop once more at the exit.
            ::ptrace(PTRACE_SETOPTIONS, child, nullptr, PTRACE_O_TRACEEXIT);
            options = true;
        } else if (status >> 8 == (SIGTRAP | (PTRACE_EVENT_EXIT << 8))) {
            std::ifstream proc("/proc/" + std::to_string(child) + "/status");
            std::string line;
            while (std::getline(proc, line)) {
                if (line.rfind("VmHWM:", 0) == 0) {
                    peakKb = std::stol(line.substr(6));
                }
            }
        } else {
            forward = WSTOPSIG(status);
        }
        ::ptrace(PTRACE_CONT, child, nullptr, reinterpret_cast<void*>(static_cast<long>(forward)));
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? peakKb : 0;
}

std::vector<std::vector<std::string>> rows(const std::string& csv) {
    std::vector<std::vector<std::string>> out;
    std::istringstream lines(csv);
    std::string line;
    while (std::getline(lines, line)) {
        std::vector<std::string> cells;
        std::string cell;
        std::istringstream cs(line);
        while (std::getline(cs, cell, ',')) {
            cells.push_back(cell);
        }
        if (!line.empty() && line.back() == ',') {
            cells.emplace_back();
        }
        out.push_back(cells);
    }
    return out;
}

class TimelineCommand : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("orvane-timeline-test-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string write(const std::string& name, const std::string& text) {
        const fs::path p = dir / name;
        std::ofstream(p) << text;
        return p.string();
    }
    fs::path dir;
};

constexpr const char* kHeader = "t,frame_cx,frame_cy,frame_w,frame_zoom,frame_smooth,frame_fx,"
                                "frame_fy,state_x,state_y,state_w,cursor_x,cursor_y,cursor_scale,"
                                "pointer";

} // namespace

TEST_F(TimelineCommand, ReproducesTheSyntheticCursorExample) {
    const auto clicks =
        write("c.json", R"({"duration":3,"moments":[{"t":1.0,"x":0.2,"y":0.2},{"t":3.0,"x":0.8,"y":0.8}]})");
    const CommandRun r = run("--clicks " + clicks + " --duration 5 --smoothness 0 --rate 100");
    ASSERT_EQ(r.exitCode, 0) << r.out;
    const auto table = rows(r.out);
    ASSERT_EQ(table[0].size(), 15u);
    EXPECT_EQ(r.out.substr(0, r.out.find('\n')), kHeader);
    ASSERT_EQ(table.size(), 1u + 501u); // 0 ... 5 s inclusive at 100 Hz
    const auto& at283 = table[1 + 283];
    EXPECT_EQ(at283[0], "2.83");
    EXPECT_NEAR(std::stod(at283[11]), 0.5, 1e-9);
    EXPECT_NEAR(std::stod(at283[12]), 0.5, 1e-9);
    EXPECT_EQ(table[1 + 276][11], "0.2");
    EXPECT_EQ(table[1 + 290][11], "0.8");
    EXPECT_EQ(table[1 + 100][13], "0.7"); // click pulse
    EXPECT_EQ(table.back()[0], "5");
    // The two clicks are 2 s apart: one segment [0.5, 4.45], zoom 1.5 at 2.0 s.
    EXPECT_NEAR(std::stod(table[1 + 200][3]), 1 / 1.5, 1e-9);
    EXPECT_EQ(table[1 + 200][6], ""); // no focus lock
    EXPECT_EQ(table[1 + 200][14], "0");
}

TEST_F(TimelineCommand, LastRowIsTheDurationAndSettingsApply) {
    const auto clicks = write("c.json", R"({"duration":1,"moments":[{"t":1,"x":0.9,"y":0.1}]})");
    const auto track = write("t.csv", "t,x,y,pointer\n0,0.9,0.1,1\n2,0.9,0.1,1\n");
    const CommandRun r = run("--clicks " + clicks + " --duration 1.01 --zoom 2 --merge 1 --track " + track);
    ASSERT_EQ(r.exitCode, 0) << r.out;
    const auto table = rows(r.out);
    ASSERT_EQ(table.size(), 1u + 61u + 1u);
    EXPECT_EQ(table.back()[0], "1.01");
    EXPECT_EQ(table.back()[14], "1");
    // At 1.0 s (segment [0.5, 1.01]: zoom-in to 0.755) the camera leans toward the cursor.
    EXPECT_GT(std::stod(table[1 + 45][8]), 0.5);
    EXPECT_EQ(table[1 + 45][4], "2");
}

TEST_F(TimelineCommand, HelpDocumentsEveryColumn) {
    const CommandRun r = run("--help");
    EXPECT_EQ(r.exitCode, 0);
    for (const char* col : {"frame_cx", "frame_fy", "state_w", "cursor_scale", "pointer", "--merge",
                            "--rate", "--track"}) {
        EXPECT_NE(r.out.find(col), std::string::npos) << col;
    }
}

TEST_F(TimelineCommand, BadInputGetsOneLineAndNonZeroExit) {
    const auto good = write("c.json", R"({"duration":0,"moments":[]})");
    const auto bad = write("bad.json", R"({"duration":0,"moments":[{"t":1}]})");
    const auto badTrack = write("t.csv", "t,x,y,pointer\n0,0,0,2\n");
    const std::pair<std::string, std::string> cases[] = {
        {"--clicks " + (dir / "missing.json").string() + " --duration 1", "missing.json: no such file"},
        {"--clicks " + bad + " --duration 1", "bad.json: moment 0"},
        {"--clicks " + good + " --duration 1 --track " + badTrack, "t.csv: line 2"},
        {"--clicks " + good + " --duration 1 --track " + dir.string(), "is a directory"},
        {"--clicks " + good, "--duration"},
        {"--duration 1", "--clicks"},
        {"--clicks " + good + " --duration -1", "--duration"},
        {"--clicks " + good + " --duration 1 --rate 0", "--rate"},
        {"--clicks " + good + " --duration 1 --zoom abc", "--zoom"},
        {"--clicks " + good + " --duration 1 --bogus", "unknown option"},
    };
    for (const auto& [args, fragment] : cases) {
        const CommandRun r = run(args);
        EXPECT_NE(r.exitCode, 0) << args;
        EXPECT_NE(r.out.find(fragment), std::string::npos) << args << " -> " << r.out;
        EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << r.out;
    }
}

TEST_F(TimelineCommand, HelpStatesTheRangeOfEveryNumber) {
    const CommandRun r = run("--help");
    ASSERT_EQ(r.exitCode, 0);
    // Each numeric option's entry (its line and the next) gives its bounds.
    const std::regex range(R"((\d[\d.]* to \d[\d.]*)|(above \d[\d.]*, at most \d[\d.]*))");
    for (const std::string option : {"--duration", "--zoom", "--smoothness", "--merge", "--rate"}) {
        const auto at = r.out.find("  " + option + " ");
        ASSERT_NE(at, std::string::npos) << option;
        const auto lineEnd = r.out.find('\n', r.out.find('\n', at) + 1);
        const std::string entry = r.out.substr(at, lineEnd - at);
        EXPECT_TRUE(std::regex_search(entry, range)) << entry;
    }
    // The stated bounds are the ones enforced.
    const auto good = write("c.json", R"({"duration":0,"moments":[]})");
    EXPECT_EQ(run("--clicks " + good + " --duration 10000000 --rate 0.000001").exitCode, 0);
    EXPECT_NE(run("--clicks " + good + " --duration 10000001").exitCode, 0);
    EXPECT_EQ(run("--clicks " + good + " --duration 1 --zoom 100 --smoothness 1").exitCode, 0);
    EXPECT_NE(run("--clicks " + good + " --duration 1 --zoom 100.5").exitCode, 0);
    EXPECT_NE(run("--clicks " + good + " --duration 1 --smoothness 1.01").exitCode, 0);
    EXPECT_NE(run("--clicks " + good + " --duration 1 --rate 100001").exitCode, 0);
    EXPECT_NE(run("--clicks " + good + " --duration 1 --merge 10000001").exitCode, 0);
}

TEST_F(TimelineCommand, ReadingAClicksFileTakesMemoryOfItsOwnSize) {
    // 4 MB of numbers in a member nobody reads: a document tree of them
    // would take hundreds of megabytes.
    constexpr std::size_t kBytes = 4u << 20;
    std::string junk = R"({"duration":0,"moments":[{"t":0,"x":0.5,"y":0.5}],"junk":[0)";
    junk.reserve(kBytes + 16);
    while (junk.size() < kBytes) {
        junk += ",0";
    }
    junk += "]}";
    const auto big = write("big.json", junk);
    junk.clear();
    junk.shrink_to_fit();
    const auto small = write("small.json", R"({"duration":0,"moments":[{"t":0,"x":0.5,"y":0.5}]})");
    const long baseKb = peakMemoryKb({"--clicks", small, "--duration", "0"});
    const long bigKb = peakMemoryKb({"--clicks", big, "--duration", "0"});
    ASSERT_GT(baseKb, 0);
    ASSERT_GT(bigKb, 0);
    RecordProperty("peak_kb_small_file", static_cast<int>(baseKb));
    RecordProperty("peak_kb_4mb_file", static_cast<int>(bigKb));
    const long fileKb = static_cast<long>(kBytes >> 10);
    EXPECT_LT(bigKb - baseKb, 3 * fileKb) << "base " << baseKb << " kB, with a " << fileKb
                                          << " kB file " << bigKb << " kB";
}

TEST_F(TimelineCommand, FilesThatNeverEndAreRefused) {
    const CommandRun zero = run("--clicks /dev/zero --duration 1");
    EXPECT_NE(zero.exitCode, 0);
    EXPECT_NE(zero.out.find("/dev/zero: file too large (more than 256 MB)"), std::string::npos)
        << zero.out;
    const auto good = write("c.json", R"({"duration":0,"moments":[]})");
    const CommandRun track = run("--clicks " + good + " --duration 1 --track /dev/zero");
    EXPECT_NE(track.exitCode, 0);
    EXPECT_NE(track.out.find("/dev/zero: file too large"), std::string::npos) << track.out;
}
