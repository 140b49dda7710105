// Archives (ArchiveBegin ... ArchiveEnd kept as requests, ReadArchive
// replaying an archive of the scene or a RIB file), Declare and version.
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
  std::shared_ptr<const std::vector<Request>> requests;
  auto it = st.archives.find(name);
  if (it != st.archives.end()) {
    requests = it->second;
  } else {
    // Not an archive of this scene: a RIB file of that name.
    auto fromFile = std::make_shared<std::vector<Request>>();
    std::string error;
    if (!readRibFile(name, *fromFile, error))
      fail(kNoFile, "no archive " + quoted(name) + " in the scene, and " + error);
    requests = fromFile;
  }
  if (st.replayDepth >= kMaxArchiveDepth) {
    fail(kNesting, "archives read archives more than " + std::to_string(kMaxArchiveDepth) + " deep");
  }
  ++st.replayDepth;
  for (const Request& r : *requests) in.apply(r);
  --st.replayDepth;
}

void Handlers::declare(const Args& a) {
  const std::string name = a.string(0, "name");
  st.declared[name] = declarationOf((a.string(1, "declaration") + " " + name).c_str());
}

void Handlers::version(const Args&) {}

}  // namespace render
}  // namespace quor
