#include "app/startup_jack.hpp"

#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include <dlfcn.h>

#include <gtest/gtest.h>

#include "startup/run_helper.hpp"
#include "startup/unix_listener.hpp"
#include "support/temp_dir.hpp"

namespace tarnwell::test {
namespace {

namespace fs = std::filesystem;
using namespace tarnwell::startup;
using Env = std::map<std::string, std::optional<std::string>>;

EnvLookup lookupIn(const Env& env) {
    return [&env](const char* name) -> const char* {
        const auto found = env.find(name);
        return found != env.end() && found->second ? found->second->c_str() : nullptr;
    };
}

// `env` with `changes` made, unset variables left out.
Env changed(Env env, const std::vector<EnvChange>& changes) {
    for (const EnvChange& change : changes) {
        env[change.name] = change.value;
    }
    std::erase_if(env, [](const auto& entry) { return !entry.second; });
    return env;
}

// The libjack file the loader gave this process.
std::string loadedJack() {
    Dl_info info{};
    void* open = dlsym(RTLD_DEFAULT, "jack_client_open");
    return open != nullptr && dladdr(open, &info) != 0 && info.dli_fname ? info.dli_fname : "";
}

// `root`/pipewire-0.3/jack/libjack.so.0: a link to the libjack this process
// runs on, so a program restarted onto it loads and runs.
fs::path plantPipeWireJack(const fs::path& root) {
    const fs::path dir = root / "pipewire-0.3" / "jack";
    fs::create_directories(dir);
    fs::create_symlink(loadedJack(), dir / "libjack.so.0");
    return dir;
}

TEST(PipeWireJackLibrary, IsFoundUnderTheFirstLibraryFolderHoldingAReadableOne) {
    TempDir tmp;
    fs::create_directories(tmp / "empty");
    fs::create_directories(tmp / "folderOnly" / "pipewire-0.3" / "jack");
    fs::create_directories(tmp / "dangling" / "pipewire-0.3" / "jack");
    fs::create_symlink(tmp / "nowhere",
                       tmp / "dangling" / "pipewire-0.3" / "jack" / "libjack.so.0");
    const fs::path second = plantPipeWireJack(tmp / "second");
    plantPipeWireJack(tmp / "third");

    const std::vector<std::string> dirs{(tmp / "missing").string(),    (tmp / "empty").string(),
                                        (tmp / "folderOnly").string(), (tmp / "dangling").string(),
                                        (tmp / "second").string(),     (tmp / "third").string()};
    EXPECT_EQ(findPipeWireJackDir(dirs), second.string());
    EXPECT_EQ(findPipeWireJackDir({dirs.begin(), dirs.begin() + 4}), std::nullopt);
    EXPECT_EQ(findPipeWireJackDir({}), std::nullopt);
}

TEST(PipeWireJackLibrary, TheLoadersFoldersLeadToWhereThisSystemInstallsIt) {
    const fs::path installed = fs::path("/usr/lib") / TARNWELL_TEST_MULTIARCH / "pipewire-0.3/jack";
    if (!fs::exists(installed / "libjack.so.0")) {
        GTEST_SKIP() << "PipeWire's JACK library is not installed (package pipewire-jack)";
    }
    const auto found = findPipeWireJackDir(loaderLibraryDirs());
    ASSERT_TRUE(found.has_value());
    EXPECT_TRUE(fs::equivalent(*found, installed)) << *found;
}

TEST(PipeWireSocket, IsNamedByItsRemoteUnderItsRuntimeFolderElseTheSessionsOne) {
    Env env;
    EXPECT_EQ(pipeWireSocketPath(lookupIn(env)), "");
    env["XDG_RUNTIME_DIR"] = "/run/user/1000";
    EXPECT_EQ(pipeWireSocketPath(lookupIn(env)), "/run/user/1000/pipewire-0");
    env["PIPEWIRE_RUNTIME_DIR"] = "";
    EXPECT_EQ(pipeWireSocketPath(lookupIn(env)), "/run/user/1000/pipewire-0");
    env["PIPEWIRE_RUNTIME_DIR"] = "/run/pipewire";
    env["PIPEWIRE_REMOTE"] = "pipewire-1";
    EXPECT_EQ(pipeWireSocketPath(lookupIn(env)), "/run/pipewire/pipewire-1");
    env["PIPEWIRE_REMOTE"] = "/tmp/elsewhere/socket";
    EXPECT_EQ(pipeWireSocketPath(lookupIn(env)), "/tmp/elsewhere/socket");
}

TEST(PipeWireSocket, CountsOnlyWhileAServerListensNotTheFileADeadOneLeaves) {
    TempDir tmp;
    const std::string path = (tmp / "pipewire-0").string();
    EXPECT_FALSE(socketAccepts(path));
    UnixListener server(path);
    ASSERT_TRUE(server.listening());
    EXPECT_TRUE(socketAccepts(path));
    server.close();
    ASSERT_TRUE(fs::exists(path));
    EXPECT_FALSE(socketAccepts(path));

    writeText(tmp / "plain", "not a socket");
    EXPECT_FALSE(socketAccepts((tmp / "plain").string()));
    EXPECT_FALSE(socketAccepts(""));
    EXPECT_FALSE(socketAccepts("/" + std::string(200, 'x')));
}

TEST(RestartEnvironment, PutsPipeWiresJackFirstAndGivesTheCallersValueBackExactly) {
    for (const std::optional<std::string>& caller :
         {std::optional<std::string>{}, std::optional<std::string>{""},
          std::optional<std::string>{"/opt/synth/lib:/opt/other"}}) {
        SCOPED_TRACE(caller.value_or("(unset)"));
        Env env{{"LD_LIBRARY_PATH", caller}, {"HOME", "/home/player"}};
        const Env before = env;
        EXPECT_TRUE(callerEnvironment(lookupIn(env)).empty()) << "not restarted yet";

        env = changed(env, restartEnvironment("/usr/lib/pw/jack", lookupIn(env)));
        EXPECT_EQ(env["LD_LIBRARY_PATH"],
                  caller && !caller->empty() ? "/usr/lib/pw/jack:" + *caller : "/usr/lib/pw/jack");

        const auto restore = callerEnvironment(lookupIn(env));
        ASSERT_FALSE(restore.empty());
        env = changed(env, restore);
        EXPECT_EQ(env, changed(before, {}));
        EXPECT_TRUE(callerEnvironment(lookupIn(env)).empty()) << "restored twice";
    }
}

// The whole start: the helper decides as main does and really restarts.
class StartupRestart : public ::testing::Test {
protected:
    HelperRun start(const std::vector<std::string>& args, Env env = {}) {
        std::vector<std::string> argv{TARNWELL_STARTUP_HELPER};
        argv.insert(argv.end(), args.begin(), args.end());
        env.try_emplace("TARNWELL_NO_PIPEWIRE_JACK", std::nullopt);
        HelperRun run = runHelper(argv, env);
        EXPECT_TRUE(run.finished) << "the helper did not end (restarting over and over?)";
        EXPECT_EQ(run.status, 0) << run.output;
        return run;
    }

    TempDir tmp;
    fs::path libs = tmp / "lib";
    fs::path jackDir = plantPipeWireJack(libs);
};

TEST_F(StartupRestart, OnPipeWireAloneItRestartsOnceOnItsJackAndChildrenGetTheCallersEnvironment) {
    for (const std::optional<std::string>& caller :
         {std::optional<std::string>{}, std::optional<std::string>{""},
          std::optional<std::string>{"/opt/synth/lib"}}) {
        SCOPED_TRACE(caller.value_or("(unset)"));
        const HelperRun run = start({"1", "0", (tmp / "none").string(), libs.string()},
                                    {{"LD_LIBRARY_PATH", caller}});
        EXPECT_EQ(run.said.at("library"), "pipeWire");
        EXPECT_EQ(run.said.at("libjack"), (jackDir / "libjack.so.0").string());
        EXPECT_EQ(run.childEnv.contains("LD_LIBRARY_PATH"), caller.has_value()) << run.output;
        if (caller) {
            EXPECT_EQ(run.childEnv.at("LD_LIBRARY_PATH"), *caller);
        }
        // The restart's own markers never reach a child; a caller's own
        // TARNWELL_ settings (a test time scale, say) pass through untouched.
        for (const auto& [name, value] : run.childEnv) {
            const char* inherited = std::getenv(name.c_str());
            EXPECT_TRUE(!name.starts_with("TARNWELL_") ||
                        (name != "TARNWELL_NO_PIPEWIRE_JACK" && inherited && value == inherited))
                << name << "=" << value;
        }
    }
}

TEST_F(StartupRestart, AJackServerThatAnswersKeepsTheProgramOnItThoughPipeWireRuns) {
    const HelperRun run = start({"1", "1", libs.string()}, {{"LD_LIBRARY_PATH", "/opt/synth/lib"}});
    EXPECT_EQ(run.said.at("library"), "asStarted");
    EXPECT_EQ(run.said.at("libjack"), loadedJack());
    EXPECT_EQ(run.childEnv.at("LD_LIBRARY_PATH"), "/opt/synth/lib");
}

TEST_F(StartupRestart, NothingChangesWithoutPipeWireWithoutItsLibraryOrWhenTurnedOff) {
    for (const auto& [args, env] : std::vector<std::pair<std::vector<std::string>, Env>>{
             {{"0", "0", libs.string()}, {}},
             {{"1", "0", (tmp / "none").string()}, {}},
             {{"1", "0", libs.string()}, {{"TARNWELL_NO_PIPEWIRE_JACK", "1"}}}}) {
        const HelperRun run = start(args, env);
        EXPECT_EQ(run.said.at("library"), "asStarted") << run.output;
        EXPECT_EQ(run.said.at("libjack"), loadedJack());
        EXPECT_FALSE(run.childEnv.contains("TARNWELL_CALLER_LD_LIBRARY_PATH"));
    }
}

}  // namespace
}  // namespace tarnwell::test
