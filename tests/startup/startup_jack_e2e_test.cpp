// The start-up decision with the system's own probes: a real JACK server,
// and a PipeWire socket that answers (or was left by one that died).
#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "app/startup_jack.hpp"
#include "e2e/e2e_fixture.hpp"
#include "startup/run_helper.hpp"
#include "startup/unix_listener.hpp"
#include "support/temp_dir.hpp"

namespace tarnwell::test {
namespace {

class StartupOnRealJack : public JackE2eTest {
protected:
    void SetUp() override {
        JackE2eTest::SetUp();
        if (loadedJackLibrary().find("/pipewire-0.3/") != std::string::npos) {
            GTEST_SKIP() << "started on PipeWire's JACK library already";
        }
    }

    // The helper with the system's probes, PipeWire's socket in `runtime`.
    HelperRun start(const std::map<std::string, std::optional<std::string>>& extra = {}) {
        std::map<std::string, std::optional<std::string>> env{
            {"XDG_RUNTIME_DIR", runtime.path().string()},
            {"PIPEWIRE_RUNTIME_DIR", std::nullopt},
            {"PIPEWIRE_REMOTE", std::nullopt},
            {"TARNWELL_NO_PIPEWIRE_JACK", std::nullopt}};
        for (const auto& [name, value] : extra) {
            env[name] = value;
        }
        HelperRun run = runHelper({TARNWELL_STARTUP_HELPER, "system"}, env);
        EXPECT_TRUE(run.finished);
        EXPECT_EQ(run.status, 0) << run.output;
        return run;
    }

    // A JACK server name nobody runs: as on a desktop with PipeWire alone.
    std::map<std::string, std::optional<std::string>> noJackServer{
        {"JACK_DEFAULT_SERVER", "tarnwell-absent-" + std::to_string(getpid())}};

    TempDir runtime;
    std::string socketPath = (runtime / "pipewire-0").string();
};

TEST_F(StartupOnRealJack, WithJackdAndPipeWireBothRunningTheProgramStaysOnJackd) {
    UnixListener pipeWire(socketPath);
    ASSERT_TRUE(pipeWire.listening());
    const HelperRun run = start();
    EXPECT_EQ(run.said.at("library"), "asStarted");
    EXPECT_EQ(run.said.at("libjack"), loadedJackLibrary());
}

TEST_F(StartupOnRealJack, ASocketLeftByADeadPipeWireDoesNotRestartIt) {
    UnixListener pipeWire(socketPath);
    ASSERT_TRUE(pipeWire.listening());
    pipeWire.close();
    ASSERT_TRUE(std::filesystem::exists(socketPath));
    const HelperRun run = start(noJackServer);
    EXPECT_EQ(run.said.at("library"), "asStarted");
    EXPECT_EQ(run.said.at("libjack"), loadedJackLibrary());
}

TEST_F(StartupOnRealJack, WithPipeWireAloneItRestartsOnPipeWiresJackFoundAtRunTime) {
    if (!startup::findPipeWireJackDir(startup::loaderLibraryDirs())) {
        GTEST_SKIP() << "PipeWire's JACK library is not installed (package pipewire-jack)";
    }
    UnixListener pipeWire(socketPath);
    ASSERT_TRUE(pipeWire.listening());
    const HelperRun run = start(noJackServer);
    EXPECT_EQ(run.said.at("library"), "pipeWire");
    EXPECT_NE(run.said.at("libjack").find("/pipewire-0.3/jack/libjack.so.0"), std::string::npos)
        << run.said.at("libjack");
}

}  // namespace
}  // namespace tarnwell::test
