#include "Scene.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "RenderCalls.h"
#include "RequestError.h"
#include "RibText.h"

namespace quor {

Scene::Scene(const char* name) {
  if (std::strcmp(name, "-") == 0) {
    file_ = stdout;
    return;
  }
  file_ = std::fopen(name, "w");
  if (!file_) {
    throw RequestError("cannot open \"" + std::string(name) + "\": " + std::strerror(errno));
  }
  ownsFile_ = true;
}

Scene::~Scene() { close(); }

// The indentation, the request and the line break go to the file one after
// the other: a request can be many megabytes long, and is never copied into
// a line of its own.
void Scene::indent() {
  static const char kBlanks[] = "                                ";
  for (std::size_t left = 2 * stack_.size(); left > 0;) {
    const std::size_t n = std::min(left, sizeof kBlanks - 1);
    std::fwrite(kBlanks, 1, n, file_);
    left -= n;
  }
}

void Scene::write(const std::string& request) {
  indent();
  std::fwrite(request.data(), 1, request.size(), file_);
  std::fputc('\n', file_);
}

void Scene::write(const Line& request) {
  indent();
  request.writeTo(file_);
  std::fputc('\n', file_);
}

void Scene::begin(BlockKind block, const std::string& request) {
  write(request);
  stack_.push_back({block, steps_});
}

void Scene::end(BlockKind block, const std::string& request) {
  if (stack_.empty() || stack_.back().block != block) {
    const OpenBlock innermost{stack_.empty() ? "" : beginName(stack_.back().block), ""};
    throw unmatchedEnd(block, stack_.empty() ? nullptr : &innermost);
  }
  if (block != BlockKind::Transform) steps_ = stack_.back().saved;
  stack_.pop_back();
  write(request);
}

std::vector<OpenBlock> Scene::outermostBlocks() const {
  std::vector<OpenBlock> blocks;
  for (std::size_t i = 0; i < stack_.size() && i < kListedBlocks; ++i)
    blocks.push_back({beginName(stack_[i].block), ""});
  return blocks;
}

bool Scene::close() {
  if (!file_) return true;
  bool ok = std::fflush(file_) == 0 && !std::ferror(file_);
  if (ownsFile_ && std::fclose(file_) != 0) ok = false;
  file_ = nullptr;
  return ok;
}

Scene& Library::openScene() {
  if (!scene) throw RequestError("no scene is open (QrBegin was not called)");
  return *scene;
}

Library& library() {
  // Never destroyed, so that calls made while other libraries are being
  // unloaded still find it; an open file is flushed by the runtime at exit.
  static Library* const instance = new Library;
  return *instance;
}

void report(const char* what, const std::string& message, int code) {
  reportError(code, static_cast<int>(render::Severity::Error), std::string(what) + ": " + message);
}

}  // namespace quor
