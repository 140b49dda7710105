// The bridge between a host operator class and the renderable-primitive
// interface of the renderer library: a node that is both.
#ifndef QUORCARD_NODE_QUORNODEBASE_H
#define QUORCARD_NODE_QUORNODEBASE_H

#include <string>

#include <boost/lexical_cast.hpp>

#include "DDImage/Iop.h"
#include "Quor/Quor.h"
#include "Quor/QuorPrimitive.h"

template <class Base>
class QuorNodeBase : public QuorPrimitive, public Base {
 public:
  explicit QuorNodeBase(Node* node) : Base(node) {}
  ~QuorNodeBase() override {}

  // Reads the archive that each image input published to the renderer
  // under the decimal text of its hash. Input 0 (the axis) is never one.
  virtual void emitInputs() {
    for (int i = 1; i < this->inputs(); ++i) {
      DD::Image::Iop* iop = dynamic_cast<DD::Image::Iop*>(this->input(i));
      if (!iop) continue;
      const std::string name = boost::lexical_cast<std::string>(iop->hash().value());
      QrReadArchive(name.c_str(), nullptr, QR_NULL);
    }
  }
};

#endif
