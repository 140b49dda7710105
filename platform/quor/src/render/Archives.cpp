// Archives (ArchiveBegin ... ArchiveEnd kept as requests, ReadArchive
// replaying an archive of the scene or a RIB file), Declare and version.
#include <cstdint>
#include <memory>
#include <string>

#include "render/RequestHandlers.h"
#include "render/RibReader.h"

namespace quor {
namespace render {
namespace {

// How deep archives may read archives: deeper is taken for an archive that
// reads itself.
constexpr int kMaxArchiveDepth = 64;
// How many requests a frame may replay from archives, each read counting
// one more. The depth alone does not bound the work: an archive that reads
// another twice at each of 64 levels replays 2^64 times.
constexpr std::int64_t kMaxReplayedRequests = 100000;

}  // namespace

void Handlers::archiveBegin(const Args& a) {
  const std::string name = a.string(0, "archive name");
  st.recording = std::make_shared<std::vector<Request>>();
  st.recordingName = name;
  st.recordingWhere = req.where;
  st.recordingDepth = 1;
}

void Handlers::archiveEnd(const Args&) { fail(kNesting, "no open ArchiveBegin to close"); }

void Handlers::readArchive(const Args& a) {
  const std::string name = a.string(0, "archive name");
  if (st.replaysStopped) {
    ++st.readsSkipped;
    return;
  }
  // Each read spends one of the frame's budget, found or not, and then
  // one for each request it replays.
  const auto spend = [&](std::size_t n) {
    st.replayed += std::int64_t(n);
    if (st.replayed <= kMaxReplayedRequests) return;
    st.replaysStopped = true;
    fail(kLimit, "reading archive " + quoted(name) + " would replay more than " + std::to_string(kMaxReplayedRequests) +
                     " requests from archives in this frame (archives that read others several times multiply)");
  };
  spend(1);
  std::shared_ptr<const std::vector<Request>> requests;
  auto it = st.archives.find(name);
  if (it != st.archives.end()) {
    requests = it->second;
  } else {
    // Not an archive of this scene: a RIB file of that name, read once a
    // frame however often it is read.
    FileArchive& file = st.filesThisFrame[name];
    if (!file.read) {
      auto fromFile = std::make_shared<std::vector<Request>>();
      if (readRibFile(name, *fromFile, file.error)) file.requests = fromFile;
      file.read = true;
    }
    if (!file.requests) fail(kNoFile, "no archive " + quoted(name) + " in the scene, and " + file.error);
    requests = file.requests;
  }
  if (st.replayDepth >= kMaxArchiveDepth) {
    st.replaysStopped = true;
    fail(kNesting, "archives read archives more than " + std::to_string(kMaxArchiveDepth) + " deep");
  }
  spend(requests->size());
  ++st.replayDepth;
  for (const Request& r : *requests) {
    if (st.replaysStopped) break;
    in.apply(r);
  }
  --st.replayDepth;
}

void Handlers::declare(const Args& a) {
  const std::string name = a.string(0, "name");
  st.declared[name] = declarationOf((a.string(1, "declaration") + " " + name).c_str());
}

void Handlers::version(const Args&) {}

}  // namespace render
}  // namespace quor
