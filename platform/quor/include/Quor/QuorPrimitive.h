// The interface of a renderable primitive. A scene writer finds primitives
// among the host's nodes with dynamic_cast and asks them to emit themselves.
// The destructor is defined in libQuor, so the type information is one and
// the same in the host and in every plug-in.
#ifndef QUOR_QUORPRIMITIVE_H
#define QUOR_QUORPRIMITIVE_H

// An axis-aligned box: minimum x, y, z, then maximum x, y, z.
struct Box3f {
  float min[3];
  float max[3];
};

class QuorPrimitive {
 public:
  virtual ~QuorPrimitive();
  virtual Box3f bound() const = 0;
  virtual void emit() = 0;
};

#endif
