#include "window/SurfacePreview.h"

#include <GL/gl.h>

#include <algorithm>
#include <utility>

#include <DDImage/Iop.h>
#include <DDImageHost/Host.h>

namespace quorhost {

namespace {

// The image on the first input of a node that is an image, or null.
DD::Image::Iop* imageOf(const Node& node) {
  const DD::Image::Op* op = node.op();
  for (int i = 0; op && i < op->inputs(); ++i)
    if (auto* image = dynamic_cast<DD::Image::Iop*>(op->input(i))) return image;
  return nullptr;
}

bool sameSurface(const SurfacePreview& a, const SurfacePreview& b) {
  return a.node == b.node && a.columns == b.columns && a.rows == b.rows && a.positions == b.positions &&
         a.normals == b.normals && a.st == b.st;
}

}  // namespace

bool SurfacePreviewDrawing::update(std::vector<SurfacePreview> previews) {
  if (previews.size() == previews_.size() &&
      std::equal(previews.begin(), previews.end(), previews_.begin(), sameSurface))
    return false;
  previews_ = std::move(previews);
  meshes_.clear();
  for (const SurfacePreview& p : previews_) {
    Mesh m;
    m.node = p.node;
    // The renderer's t runs down the image, GL's up it.
    m.texture = p.st;
    for (size_t k = 1; k < m.texture.size(); k += 2) m.texture[k] = 1.0f - m.texture[k];
    // Facet (c, r) spans vertices (c, r) to (c + 1, r + 1), u fastest; its
    // two triangles turn as a strip up the rows would.
    const auto at = [&p](int c, int r) { return static_cast<unsigned>(r * p.columns + c); };
    for (int r = 0; r + 1 < p.rows; ++r)
      for (int c = 0; c + 1 < p.columns; ++c)
        m.triangles.insert(m.triangles.end(),
                           {at(c, r + 1), at(c, r), at(c + 1, r + 1), at(c + 1, r + 1), at(c, r), at(c + 1, r)});
    meshes_.push_back(std::move(m));
  }
  return true;
}

void SurfacePreviewDrawing::draw(DD::Image::ViewerContext& ctx) const {
  // The nodes' surfaces lie behind their lines and points; the preview lies
  // half an offset unit behind those, and in front of the surfaces, which
  // are pushed further back while it is drawn.
  glEnable(GL_POLYGON_OFFSET_FILL);
  glPolygonOffset(0.5f, 0.5f);
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LEQUAL);
  glEnable(GL_LIGHTING);
  glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, 1);
  glColor4f(1, 1, 1, 1);
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_NORMAL_ARRAY);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  for (size_t i = 0; i < previews_.size(); ++i) {
    const SurfacePreview& p = previews_[i];
    const Mesh& m = meshes_[i];
    DD::Image::Iop* image = p.node ? imageOf(*p.node) : nullptr;
    if (image) image->set_texturemap(&ctx, true);
    glVertexPointer(3, GL_FLOAT, 0, p.positions.data());
    glNormalPointer(GL_FLOAT, 0, p.normals.data());
    glTexCoordPointer(2, GL_FLOAT, 0, m.texture.data());
    glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(m.triangles.size()), GL_UNSIGNED_INT, m.triangles.data());
    if (image) image->unset_texturemap(&ctx);
  }
  glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  glDisableClientState(GL_NORMAL_ARRAY);
  glDisableClientState(GL_VERTEX_ARRAY);
}

}  // namespace quorhost
