#include "RibWriter.h"

#include <cstring>

#include "RibText.h"

namespace quor {
namespace {

struct BlockRequest {
  const char* name;
  BlockKind block;
  bool begins;
};

const BlockRequest kBlocks[] = {
    {"FrameBegin", BlockKind::Frame, true},         {"FrameEnd", BlockKind::Frame, false},
    {"WorldBegin", BlockKind::World, true},         {"WorldEnd", BlockKind::World, false},
    {"AttributeBegin", BlockKind::Attribute, true}, {"AttributeEnd", BlockKind::Attribute, false},
    {"TransformBegin", BlockKind::Transform, true}, {"TransformEnd", BlockKind::Transform, false},
    {"ArchiveBegin", BlockKind::Archive, true},     {"ArchiveEnd", BlockKind::Archive, false},
};

}  // namespace

void writeRequest(Scene& scene, const CheckedRequest& checked) {
  const render::Request& r = *checked.request;
  Line line(r.name.c_str());
  for (std::size_t i = 0; i < checked.paramsFrom; ++i) line.value(r.args[i]);
  // A light is written with the next handle; it is taken only once the rest
  // of the request has been built.
  const bool light = r.name == "LightSource" && checked.paramsFrom == 1;
  Line rest("");
  for (const CheckedParam& p : checked.params) (light ? rest : line).param(p.token, *p.value);
  if (light) {
    scene.write(line.num(scene.nextLightNumber()).text() + rest.text());
    return;
  }
  for (const BlockRequest& b : kBlocks) {
    if (r.name != b.name) continue;
    if (b.begins) {
      scene.begin(b.block, line.text());
    } else {
      scene.end(b.block, line.text());
    }
    return;
  }
  scene.write(line);
  if (r.name == "Basis") {
    // The steps follow each basis: a name or 16 numbers.
    const std::size_t ustep = r.args[0].isString() || r.args[0].isArray() ? 1 : 16;
    scene.setSteps({int(r.args[ustep].numbers[0]), int(r.args.back().numbers[0])});
  }
}

}  // namespace quor
