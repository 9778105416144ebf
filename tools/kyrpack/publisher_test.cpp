#include "kyrpack/publisher.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "kyrpack/command_line.h"
#include "kyrpack/tree_lock.h"
#include "tests/trust_test_support.h"

namespace Kyrowan::Kyrpack {
namespace {

using Testing::ListTree;
using Testing::ReadBytes;
using Testing::WriteBytes;

class PublisherTest : public ::testing::Test {
 protected:
  // Packs a package of `kind` whose one file holds `content`; returns its path.
  std::string Pack(const std::string& kind, const std::string& name, const std::string& version,
                   const std::string& content = "x") {
    const auto folder = scratch / ("src-" + kind + name + version + content);
    WriteBytes(folder / "main.py", "# " + content + "\n");
    const std::string out = (scratch / (kind + "-" + name + "-" + version + "-" + content + ".kpkg")).string();
    std::vector<std::string> args = {"pack", "--key", KYR_TEST_PRIVATE_KEY, "--folder", folder.string(), "--kind", kind,
                                     "--name", name, "--version", version, "--out", out};
    if (kind != "runtime") args.insert(args.end(), {"--runtime-type", "python"});
    if (kind == "decryptor") args.insert(args.end(), {"--module", "main.py", "--run", "run", "--help", "help"});
    std::string ignored;
    EXPECT_EQ(RunCommand(args, ignored, ignored), kExitOk);
    return out;
  }

  int Publish(std::vector<std::string> packages, std::vector<std::string> options = {}) {
    std::vector<std::string> args = {"publish", "--public", KYR_TEST_PUBLIC_KEY, "--repo", Tree()};
    args.insert(args.end(), options.begin(), options.end());
    args.insert(args.end(), packages.begin(), packages.end());
    return RunCommand(args, out, err);
  }

  std::string Tree() const { return (scratch / "tree").string(); }
  std::string Read(const std::string& relative) const { return ReadBytes(scratch / "tree" / relative); }

  Testing::ScratchFolder scratch;
  std::string out, err;
};

TEST_F(PublisherTest, EveryFileSitsAtItsRequestPathAndLatestIsTheHighestVersion) {
  const std::string newest = Pack("decryptor", "stampado", "1.10.0");
  ASSERT_EQ(Publish({Pack("decryptor", "stampado", "1.9.0"), newest, Pack("library", "cipher", "2.0"),
                     Pack("runtime", "python", "3.11.4")}),
            kExitOk)
      << err;
  EXPECT_EQ(ListTree(Tree()), (std::vector<std::string>{
                                  ".kyrpack.lock", "library", "library/download", "library/download/64", "library/download/64/cipher",
                                  "library/download/64/cipher/0.0.0", "library/download/64/cipher/2.0",
                                  "package", "package/download", "package/download/64",
                                  "package/download/64/stampado", "package/download/64/stampado/0.0.0",
                                  "package/download/64/stampado/1.10.0", "package/download/64/stampado/1.9.0",
                                  "package/list", "package/list/0.0.0", "package/query", "package/query/latestver",
                                  "package/query/latestver/64", "package/query/latestver/64/stampado", "runtime",
                                  "runtime/download", "runtime/download/64", "runtime/download/64/python",
                                  "runtime/download/64/python/0.0.0", "runtime/download/64/python/3.11.4"}));
  EXPECT_EQ(Read("package/list/0.0.0"),
            R"({"packages":[{"name":"stampado","versions":["1.9.0","1.10.0"]}],"version":"1.0.0"})");
  EXPECT_EQ(Read("package/query/latestver/64/stampado"), "1.10.0");
  EXPECT_EQ(Read("package/download/64/stampado/0.0.0"), ReadBytes(newest));
  EXPECT_EQ(Read("package/download/64/stampado/1.10.0"), ReadBytes(newest));
}

TEST_F(PublisherTest, PublishingAgainChangesNothingAndOtherBytesNeedReplace) {
  const std::string first = Pack("decryptor", "stampado", "1.0");
  ASSERT_EQ(Publish({first}), kExitOk) << err;
  ASSERT_EQ(Publish({first}), kExitOk) << err;
  EXPECT_EQ(out, "already published: decryptor stampado 1.0\n");

  const std::string other = Pack("decryptor", "stampado", "1.0", "other");
  EXPECT_EQ(Publish({other}), kExitFailed);
  EXPECT_EQ(err, other + ": decryptor stampado 1.0 is already published with different bytes (--replace replaces it)");
  EXPECT_EQ(Read("package/download/64/stampado/1.0"), ReadBytes(first));

  ASSERT_EQ(Publish({other}, {"--replace"}), kExitOk) << err;
  EXPECT_EQ(out, "wrote package/download/64/stampado/1.0\nwrote package/download/64/stampado/0.0.0\n");
  EXPECT_EQ(Read("package/download/64/stampado/0.0.0"), ReadBytes(other));
}

TEST_F(PublisherTest, OnePackageThatFailsLeavesTheTreeUntouched) {
  const std::string forged = (scratch / "forged.kpkg").string();
  std::string bytes = ReadBytes(Pack("library", "cipher", "1.0"));
  bytes[bytes.size() / 2] ^= 1;
  WriteBytes(forged, bytes);
  EXPECT_EQ(Publish({Pack("decryptor", "stampado", "1.0"), forged}), kExitFailed);
  EXPECT_EQ(err.rfind(forged + ": ", 0), 0u) << err;
  EXPECT_FALSE(std::filesystem::exists(Tree()));
}

TEST_F(PublisherTest, RebuildFollowsWhatTheTreeHolds) {
  ASSERT_EQ(Publish({Pack("decryptor", "stampado", "1.0"), Pack("decryptor", "stampado", "2.0"),
                     Pack("decryptor", "jigsaw", "1.0")}),
            kExitOk);
  std::filesystem::remove(scratch / "tree/package/download/64/stampado/2.0");
  std::filesystem::remove(scratch / "tree/package/download/64/jigsaw/1.0");
  // What an interrupted write leaves behind is no version.
  WriteBytes(scratch / "tree/package/download/64/stampado/3.0.tmp-0123abcd", "partial");
  ASSERT_EQ(RunCommand({"publish", "--rebuild", Tree()}, out, err), kExitOk) << err;
  EXPECT_EQ(Read("package/list/0.0.0"), R"({"packages":[{"name":"stampado","versions":["1.0"]}],"version":"1.0.0"})");
  EXPECT_EQ(Read("package/query/latestver/64/stampado"), "1.0");
  EXPECT_EQ(Read("package/download/64/stampado/0.0.0"), Read("package/download/64/stampado/1.0"));
  EXPECT_FALSE(std::filesystem::exists(scratch / "tree/package/query/latestver/64/jigsaw"));
  EXPECT_FALSE(std::filesystem::exists(scratch / "tree/package/download/64/jigsaw/0.0.0"));
}

TEST_F(PublisherTest, RebuildCopiesOnlyAPackageThatChecksAndClearsStaleTemporaries) {
  ASSERT_EQ(Publish({Pack("decryptor", "stampado", "2.0")}), kExitOk) << err;
  const std::string latest = Read("package/download/64/stampado/0.0.0");
  const auto folder = scratch / "tree/package/download/64/stampado";
  const auto rebuild = [&](std::vector<std::string> options) {
    std::vector<std::string> args = {"publish", "--rebuild", Tree()};
    args.insert(args.end(), options.begin(), options.end());
    return RunCommand(args, out, err);
  };
  // The tree's root joined with the file's place in the tree, as kyrpack names it.
  const std::string named = (std::filesystem::path(Tree()) / "package/download/64/stampado/3.0").string();
  WriteBytes(folder / "3.0", latest.substr(0, latest.size() / 2));
  EXPECT_EQ(rebuild({}), kExitFailed);
  EXPECT_EQ(err, "not copied to 0.0.0: '" + named +
                     "' is not a package file: its payload and signature lengths do not match its size");
  WriteBytes(folder / "3.0", ReadBytes(Pack("decryptor", "jigsaw", "3.0")));
  EXPECT_EQ(rebuild({"--public", KYR_TEST_PUBLIC_KEY}), kExitFailed);
  EXPECT_EQ(err, "not copied to 0.0.0: '" + named + "' holds decryptor jigsaw 3.0");
  EXPECT_EQ(Read("package/download/64/stampado/0.0.0"), latest);

  std::filesystem::remove(folder / "3.0");
  // Temporary copies in the form this platform's writers give them, and one of another form.
#ifdef _WIN32
  const std::string tail = ".01234567-89ab-cdef-0123-456789abcdef.tmp", other = "2.0.0123.tmp";
#else
  const std::string tail = ".tmp-0123456789abcdef01234567", other = "2.0.tmp-0123";
#endif
  const std::string leftover = "2.0" + tail;
  for (const std::string& name : {"0.0.0" + tail, leftover, other}) WriteBytes(folder / name, "partial");
  const auto hourAgo = std::filesystem::file_time_type::clock::now() - std::chrono::hours(1);
  std::filesystem::last_write_time(folder / leftover, hourAgo);
  std::filesystem::last_write_time(folder / other, hourAgo);
  ASSERT_EQ(rebuild({"--public", KYR_TEST_PUBLIC_KEY}), kExitOk) << err;
  EXPECT_EQ(out, "removed package/download/64/stampado/" + leftover + "\n");
  // A fresh one may still be written; a name of another form is not ours.
  EXPECT_TRUE(std::filesystem::exists(folder / ("0.0.0" + tail)));
  EXPECT_TRUE(std::filesystem::exists(folder / other));
}

// A publish and the daily snapshot at the same moment would sign one snapshot version twice.
TEST_F(PublisherTest, EveryWriterOfATreeWaitsItsTurn) {
  const std::string key = KYR_TEST_PRIVATE_KEY, fresh = (scratch / "fresh").string();
  ASSERT_EQ(Publish({Pack("decryptor", "stampado", "1.0")}), kExitOk) << err;
  const std::vector<std::string> init = {"trust", "init", "--root-key", key, "--snapshot-key", KYR_TEST_PUBLIC_KEY};
  const auto on = [](std::vector<std::string> args, const std::string& tree) {
    args.insert(args.begin() + 2, {"--repo", tree});
    return args;
  };
  ASSERT_EQ(RunCommand(on(init, Tree()), out, err), kExitOk) << err;
  std::filesystem::create_directories(fresh);
  const std::vector<std::vector<std::string>> writers = {
      {"publish", "--public", KYR_TEST_PUBLIC_KEY, "--repo", Tree(), "--snapshot-key", key,
       Pack("decryptor", "stampado", "2.0")},
      {"publish", "--rebuild", Tree()},
      {"hints", "--key", key, "--repo", Tree(), "--decryptor", "stampado", "--extension", ".locked"},
      on({"trust", "rotate", "--old-root-key", key, "--root-key", key, "--snapshot-key", KYR_TEST_PUBLIC_KEY}, Tree()),
      on({"trust", "snapshot", "--snapshot-key", key}, Tree()),
      on(init, fresh),
  };
  std::optional<TreeLock> held(std::in_place), heldFresh(std::in_place);
  ASSERT_TRUE(held->Take(Tree(), false, err) && heldFresh->Take(fresh, false, err)) << err;
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<int> codes(writers.size(), -1);
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < writers.size(); ++i) {
    threads.emplace_back([&, i] {
      std::string ignored;
      const int code = RunCommand(writers[i], ignored, ignored);
      std::lock_guard guard(mutex);
      codes[i] = code;
      changed.notify_all();
    });
  }
  {
    std::unique_lock guard(mutex);
    // Bounded: every writer must still be waiting after a generous pause.
    EXPECT_FALSE(changed.wait_for(guard, std::chrono::milliseconds(300),
                                  [&] { return codes != std::vector<int>(writers.size(), -1); }));
  }
  // Signed meanwhile by the holder: the two waiting snapshot writers count up from it, in turn.
  WriteBytes(scratch / "tree/trust/snapshot.json", R"({"signed":{"version":5}})");
  held.reset();
  heldFresh.reset();
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(codes, std::vector<int>(writers.size(), kExitOk));
  EXPECT_EQ(nlohmann::json::parse(Read("trust/snapshot.json"))["signed"]["version"], 7);
}

}  // namespace
}  // namespace Kyrowan::Kyrpack
