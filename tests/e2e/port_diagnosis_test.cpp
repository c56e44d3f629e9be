// Why no unit was found, as the tool tells it on standard error: the reason a port could
// not be opened, and after a failed search the ports of the machine with what each met.
// Standard output stays byte for byte what it always was.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <string>
#include <vector>

#include "PortReport.h"
#include "PtyPort.h"
#include "SimUnit.h"
#include "StdoutCapture.h"
#include "TerminalProcess.h"
#include "TestPaths.h"
#include "Transcript.h"
#include "firmware/BinImage.h"

namespace {

using transcript::banner;

const char* const kTool = "KestraneFwUpgrade-testtime";
const std::string kSearchFailed = "FAILED\n\r\n\rEnter the COM port number : ";
const std::string kNotANumber = "\r\nERROR: A decimal number was expected !\r\n";
const std::string kPressAnyKey = "\r\nPress any key to exit";
const std::string kNoAnswer = "no unit answered at any rate";

std::string failedOpen(const std::string& port) {
    return "\r\nOpening COM" + port + "....................ERROR: Opening COM" + port + " failed !";
}

struct ToolRun {
    std::string output;
    std::string errors;
    int status;
};

// Answers the port question with `port`, then ends the key wait.
ToolRun enterPort(const std::vector<std::string>& argv, const TerminalProcess::Options& options,
                  const std::string& port) {
    TerminalProcess tool(argv, options);
    EXPECT_TRUE(tool.waitForOutput("Enter the COM port number : ", 60000)) << visible(tool.output());
    tool.type(port + "\r");
    EXPECT_TRUE(tool.waitForOutput(kPressAnyKey, 30000)) << visible(tool.output());
    EXPECT_TRUE(tool.pressKeyUntilExit("x"));
    return {tool.output(), tool.errors(), tool.exitStatus()};
}

// Runs the tool with no terminal: the search, its report, and the end at the question.
ToolRun searchOnly(const PortDir& ports) {
    TerminalProcess tool({binPath(kTool)}, {{ports.envEntry()}, false, ""});
    EXPECT_TRUE(tool.waitForExit(60000)) << visible(tool.output());
    return {tool.output(), tool.errors(), tool.exitStatus()};
}

TEST(PortDiagnosis, AFailedOpenNamesTheDeviceAndTheSystemsReason) {
    PortDir ports;  // empty: the search finds no port at all
    const struct {
        const char* port;
        std::string reason;
    } cases[] = {
        {"7", portReport::missing(ports, 7)},
        {"0", " -- COM0: no device stands for this number. \"KestraneFwUpgrade --help\" shows the port numbers.\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.port);
        const ToolRun run = enterPort({binPath(kTool)}, {{ports.envEntry()}, true, ""}, c.port);
        EXPECT_EQ(visible(run.output), visible(banner() + kSearchFailed + failedOpen(c.port) + kPressAnyKey));
        EXPECT_EQ(run.status, 255);
        EXPECT_EQ(run.errors, portReport::noPortFound(ports) + c.reason);
    }
}

TEST(PortDiagnosis, TheReportListsEachPortWithWhatTheSearchMetThere) {
    PortDir ports;
    PtyPort silent(ports, 2);
    // A file opens like a device, but takes no line settings.
    const std::string file = ports.file("COM4");
    close(open(file.c_str(), O_CREAT | O_WRONLY, 0644));
    const bool onLinux = !testsWindowsPrograms();
    if (onLinux) {
        // A link whose adapter is unplugged, and a port beyond the search's 32.
        ASSERT_EQ(symlink(ports.file("gone").c_str(), ports.file("COM6").c_str()), 0);
        ASSERT_EQ(symlink(silent.slavePath().c_str(), ports.file("COM40").c_str()), 0);
    }
    const ToolRun run = searchOnly(ports);

    std::string refused;
    for (int i = 0; i < 6; ++i) refused += "ERROR: COM4 configuration failed !";
    EXPECT_EQ(visible(run.output), visible(banner() + refused + kSearchFailed + kNotANumber + kPressAnyKey));
    EXPECT_EQ(run.status, 255);

    const std::string notASerialPort = onLinux ? "Inappropriate ioctl for device" : "Request not supported";
    std::string expected;
    for (const char* rate : {"115200", "9600", "57600", "4800", "2400", "1200"})
        expected += " -- " + portReport::device(ports, 4) + ": refused the line settings (" + rate +
                    " baud): " + notASerialPort + ".\n";
    expected += portReport::header() + portReport::port(ports, 2, kNoAnswer) +
                portReport::port(ports, 4, "refused the line settings at every rate: " + notASerialPort);
    if (onLinux) {
        expected += "  COM6   " + ports.file("COM6") + " -> " + ports.file("gone") +
                    ": the device is not there (unplugged?)\n";
        expected += portReport::port(ports, 40,
                                     "not searched (the search covers COM1 to COM32): enter its number below");
    }
    EXPECT_EQ(run.errors, expected);
}

TEST(PortDiagnosis, NothingOnStandardErrorWhenTheSearchFindsAUnit) {
    PortDir ports;
    PtyPort silent(ports, 1);
    std::vector<std::string> options = {"--port", "3", "--rate", "9600", "--version", "1.0.6 XC7A50 1.6 2"};
    for (const std::string& option : testTimeOptions()) options.push_back(option);
    SimUnit unit(ports.path(), options);
    ASSERT_TRUE(unit.ready()) << unit.startupText();
    TerminalProcess tool({binPath(kTool)}, {{ports.envEntry()}, false, ""});
    ASSERT_TRUE(tool.waitForExit(60000)) << visible(tool.output());
    EXPECT_EQ(tool.output().rfind(banner() + transcript::found(3, 9600), 0), 0u) << visible(tool.output());
    EXPECT_EQ(tool.exitStatus(), 1) << "the unit's FPGA device is not supported";
    EXPECT_EQ(tool.errors(), "");
}

TEST(PortDiagnosis, TheSampleBuildSaysOnceThatItReachesOnlySimulatedPorts) {
    if (!AUTOGEN_IS_SAMPLE_SET) GTEST_SKIP() << "built with real image files";
    PortDir ports;
    SimUnit unit(ports.path(), {});
    ASSERT_TRUE(unit.ready()) << unit.startupText();
    std::vector<std::string> argv = {binPath(kTool)};
    std::vector<std::string> env;
    std::string rule;
    if (testsWindowsPrograms()) {
        // The ports are there, but the program is not told of them.
        env.push_back("KESTRANE_WINE_PORTS=" + ports.path());
        rule = "This build carries the synthetic sample images and opens ports only under Wine, with "
               "COM_PORT_DIR naming the simulated ones: it never opens a real device.";
    } else {
        argv.insert(argv.begin(), {"/usr/bin/env", "-u", "COM_PORT_DIR"});
        rule = "This build carries the synthetic sample images and opens only the simulated ports under "
               "COM_PORT_DIR, which is not set: it never opens a real device.";
    }
    const ToolRun run = enterPort(argv, {env, true, ""}, "3");
    EXPECT_EQ(visible(run.output), visible(banner() + kSearchFailed + failedOpen("3") + kPressAnyKey));
    EXPECT_EQ(run.errors, "\n" + rule + "\n") << "after the search, and not again for the port entered";
    EXPECT_TRUE(unit.events("recv").empty()) << unit.log();
}

// ---- what only Linux shows: who holds a port, and a user without access ----

// A process named "port-holder" that holds a device as a terminal program would, until
// the test ends; optionally as another user.
class Holder {
public:
    enum How { kFlock, kExclusive };
    Holder(const std::string& device, How how, const passwd* user) {
        int ready[2];
        if (pipe(ready) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            prctl(PR_SET_NAME, "port-holder");
            if (user) {
                if (setgroups(0, nullptr) != 0 || setgid(user->pw_gid) != 0 || setuid(user->pw_uid) != 0) _exit(2);
                prctl(PR_SET_DUMPABLE, 1);  // its /proc entries belong to that user again
            }
            const int fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
            const bool holds =
                fd >= 0 && (how == kFlock ? flock(fd, LOCK_EX | LOCK_NB) == 0 : ioctl(fd, TIOCEXCL) == 0);
            const char result = holds ? '1' : '0';
            if (write(ready[1], &result, 1) != 1) _exit(2);
            pause();
            _exit(0);
        }
        close(ready[1]);
        char result = '0';
        holding_ = read(ready[0], &result, 1) == 1 && result == '1';
        close(ready[0]);
    }
    ~Holder() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    bool holding() const { return holding_; }
    std::string named() const { return "port-holder (process " + std::to_string(pid_) + ")"; }

private:
    pid_t pid_ = -1;
    bool holding_ = false;
};

class LinuxPortAccess : public testing::Test {
protected:
    void SetUp() override {
        SKIP_UNDER_WINE("Wine opens a serial device another process holds (share mode 0 is not enforced across "
                        "processes), and a Unix user's permissions on the device are not Windows' business");
        if (geteuid() != 0) GTEST_SKIP() << "needs root, to run the tool as another user";
        nobody_ = getpwnam("nobody");
        ASSERT_NE(nobody_, nullptr);
        // The tool, run as nobody, must reach the link.
        ASSERT_EQ(chmod(ports_.path().c_str(), 0755), 0);
    }

    TerminalProcess::Options asNobody() const {
        TerminalProcess::Options options{{ports_.envEntry()}, true, ""};
        options.runAsUser = nobody_->pw_uid;
        options.runAsGroup = nobody_->pw_gid;
        return options;
    }

    // Enters port 1 after the search: standard output as always, standard error returned.
    std::string errorsOfRun(const TerminalProcess::Options& options) {
        const ToolRun run = enterPort({binPath(kTool)}, options, "1");
        EXPECT_EQ(visible(run.output), visible(banner() + kSearchFailed + failedOpen("1") + kPressAnyKey));
        EXPECT_EQ(run.status, 255);
        return run.errors;
    }

    PortDir ports_;
    const passwd* nobody_ = nullptr;
};

TEST_F(LinuxPortAccess, APortHeldByAnotherProgramNamesThatProgram) {
    const struct {
        const char* name;
        Holder::How how;
        bool asNobody;  // holder and tool: the tool then sees the holder among its own processes
        const char* reason;
    } cases[] = {
        {"flock", Holder::kFlock, false, "Resource temporarily unavailable (flock)"},
        {"TIOCEXCL", Holder::kExclusive, true, "Device or resource busy"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PtyPort port(ports_, 1);
        ASSERT_EQ(chmod(port.slavePath().c_str(), 0666), 0);
        const Holder holder(port.linkPath(), c.how, c.asNobody ? nobody_ : nullptr);
        ASSERT_TRUE(holder.holding());
        const std::string errors = errorsOfRun(c.asNobody ? asNobody() : TerminalProcess::Options{
                                                                              {ports_.envEntry()}, true, ""});
        EXPECT_EQ(errors, portReport::header() +
                              portReport::port(ports_, 1, "held by another program: " + holder.named()) +
                              "Close the program that holds the port, then run the tool again.\n"
                              " -- " + port.linkPath() + ": " + c.reason +
                              ". Another program holds the port: " + holder.named() + "; close it and try again.\n");
    }
}

TEST_F(LinuxPortAccess, PermissionDeniedNamesTheGroupThatMayOpenTheDevice) {
    const group* dialout = getgrnam("dialout");
    if (!dialout) GTEST_SKIP() << "no dialout group on this machine";
    PtyPort port(ports_, 1);
    ASSERT_EQ(chown(port.slavePath().c_str(), 0, dialout->gr_gid), 0);
    ASSERT_EQ(chmod(port.slavePath().c_str(), 0660), 0);
    const std::string advice =
        "The device belongs to group dialout: add yourself with \"sudo usermod -aG dialout $USER\", then log in "
        "again.";
    EXPECT_EQ(errorsOfRun(asNobody()), portReport::header() + portReport::port(ports_, 1, "permission denied") +
                                           advice + "\n -- " + port.linkPath() + ": Permission denied. " + advice +
                                           "\n");
}

}  // namespace
