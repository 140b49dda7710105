#include "grid/PointsText.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstddef>
#include <cstring>
#include <iostream>
#include <locale>
#include <ostream>
#include <sstream>

#include <boost/archive/archive_exception.hpp>
#include <boost/archive/xml_iarchive.hpp>
#include <boost/archive/xml_oarchive.hpp>

// The archive's implementation, for the archive derived below.
#include <boost/archive/impl/archive_serializer_map.ipp>
#include <boost/archive/impl/basic_xml_oarchive.ipp>
#include <boost/archive/impl/xml_oarchive_impl.ipp>

namespace quorcard {
namespace text {

// The XML archive, writing its tags, names and white space into the stream's
// buffer a string at a time. The stock archive puts them one character at a
// time through the stream, each call checking the stream's state anew, and
// that was most of the time of a store. The text is the same to the byte.
// Boost's archives are extended by deriving from xml_oarchive_impl, as here.
class PointsOArchive : public boost::archive::xml_oarchive_impl<PointsOArchive> {
 public:
  // Writes the archive's header. Made with no_header, the archive writes no
  // closing root tag when it is destroyed: the stored text has never had
  // one. (The stock archive writes that tag from its base's destructor,
  // through this class, which no longer exists by then.)
  explicit PointsOArchive(std::ostream& os) : xml_oarchive_impl<PointsOArchive>(os, boost::archive::no_header) {
    init();
  }
  ~PointsOArchive() override {}

  void put(char c) { write(&c, 1); }
  void put(const char* s) { write(s, std::strlen(s)); }

 protected:
  friend class boost::archive::detail::interface_oarchive<PointsOArchive>;
  friend class boost::archive::basic_xml_oarchive<PointsOArchive>;
  friend class boost::archive::save_access;

  template <class T>
  void save(const T& t) {
    xml_oarchive_impl<PointsOArchive>::save(t);
  }
  // Element names: the archive has checked that they are XML names, which
  // need no escapes. Any other text takes the stock path, which escapes it.
  void save(const char* s) {
    if (std::strpbrk(s, "&<>'\"")) {
      xml_oarchive_impl<PointsOArchive>::save(s);
    } else {
      put(s);
    }
  }

 private:
  void write(const char* s, std::size_t n) {
    if (os.fail()) {
      boost::serialization::throw_exception(
          boost::archive::archive_exception(boost::archive::archive_exception::output_stream_error));
    }
    os.rdbuf()->sputn(s, static_cast<std::streamsize>(n));
  }
};

}  // namespace text
}  // namespace quorcard

template class boost::archive::detail::archive_serializer_map<quorcard::text::PointsOArchive>;
template class boost::archive::basic_xml_oarchive<quorcard::text::PointsOArchive>;
template class boost::archive::xml_oarchive_impl<quorcard::text::PointsOArchive>;

namespace quorcard {

namespace {

const char kRootEndTag[] = "</boost_serialization>\n";

bool isSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

bool isNameChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_' || c == ':' || c == '-' || c == '.';
}

[[noreturn]] void refuse(const char* why) {
  throw boost::archive::archive_exception(boost::archive::archive_exception::input_stream_error, why);
}

// Checks the body of a document (everything after the root start tag) against
// the exact layout the archive will read, before the archive reads it. Two
// faults of the archive make this necessary:
// - it sizes every sequence from its "count" before reading one entry, so a
//   damaged or hostile count (billions) allocates gigabytes or throws
//   std::bad_alloc; here every count must equal the number of entries that
//   follow it;
// - it compares an end tag's name with the expected name by indexing the
//   expected name at the length of the name read, which reads past the
//   expected name when the document's name is longer; here every element
//   name must be the expected one and every end tag must match its start tag.
// Values are left to the archive. Whatever follows the top element is ignored.
class BodyCheck {
 public:
  BodyCheck(const std::string& text, std::size_t at, unsigned int version) : text_(text), at_(at), version_(version) {}

  void run() { element(Kind::Points, nullptr); }

 private:
  enum class Kind { Points, Point, Values, Slots, Slot, Leaf };

  void element(Kind kind, const char* expected) {
    const std::string name = startTag();
    if (expected != nullptr && name != expected) refuse("unexpected element");
    if (kind == Kind::Leaf) {
      at_ = text_.find('<', at_);
      if (at_ == std::string::npos) refuse("unterminated element");
    } else if (kind == Kind::Point) {
      element(Kind::Values, "pos");
      element(Kind::Values, "uv");
      element(Kind::Values, "normal");
      element(Kind::Slots, "controlPoints");
    } else {
      const std::size_t count = countElement();
      // Sequences carry an item version from archive version 4 on;
      // fixed-size arrays never do.
      if (kind != Kind::Values && version_ > 3) element(Kind::Leaf, "item_version");
      const Kind item = kind == Kind::Points ? Kind::Point : kind == Kind::Slots ? Kind::Slot : Kind::Leaf;
      for (std::size_t i = 0; i < count; ++i) element(item, "item");
    }
    endTag(name);
  }

  std::size_t countElement() {
    if (startTag() != "count") refuse("unexpected element");
    const std::size_t end = text_.find('<', at_);
    if (end == std::string::npos) refuse("unterminated element");
    std::size_t value = 0;
    std::size_t i = at_;
    for (; i < end && text_[i] >= '0' && text_[i] <= '9'; ++i) {
      value = value * 10 + static_cast<std::size_t>(text_[i] - '0');
      // Each entry takes more than one character of text.
      if (value > text_.size()) refuse("count larger than the text holds");
    }
    const bool digits = i > at_;
    while (i < end && isSpace(text_[i])) ++i;
    if (!digits || i != end) refuse("count is not a number");
    at_ = end;
    endTag("count");
    return value;
  }

  // Reads "<name attributes>" after optional white space; answers the name.
  std::string startTag() {
    skipSpace();
    if (at_ >= text_.size() || text_[at_] != '<') refuse("element expected");
    std::size_t end = at_ + 1;
    while (end < text_.size() && isNameChar(text_[end])) ++end;
    const std::size_t close = text_.find('>', end);
    if (end == at_ + 1 || close == std::string::npos || !(text_[end] == '>' || isSpace(text_[end])) ||
        text_[close - 1] == '/')
      refuse("malformed start tag");
    std::string name = text_.substr(at_ + 1, end - at_ - 1);
    at_ = close + 1;
    return name;
  }

  // Reads "</name>" after optional white space.
  void endTag(const std::string& name) {
    skipSpace();
    std::size_t end = at_ + 2 + name.size();
    if (text_.compare(at_, 2, "</") != 0 || text_.compare(at_ + 2, name.size(), name) != 0)
      refuse("end tag does not match");
    while (end < text_.size() && isSpace(text_[end])) ++end;
    if (end >= text_.size() || text_[end] != '>') refuse("end tag does not match");
    at_ = end + 1;
  }

  void skipSpace() {
    while (at_ < text_.size() && isSpace(text_[at_])) ++at_;
  }

  const std::string& text_;
  std::size_t at_;
  unsigned int version_;
};

// The value of attribute `name` in the start tag text `tag` (the text
// between "<" and ">"), or false when the tag has no such attribute.
bool attribute(const std::string& tag, const std::string& name, std::string* value) {
  std::size_t at = 0;
  while ((at = tag.find(name, at)) != std::string::npos) {
    const std::size_t end = at + name.size();
    const bool starts = at > 0 && isSpace(tag[at - 1]);
    if (starts && tag.compare(end, 2, "=\"") == 0) {
      const std::size_t close = tag.find('"', end + 2);
      if (close == std::string::npos) return false;
      *value = tag.substr(end + 2, close - end - 2);
      return true;
    }
    at = end;
  }
  return false;
}

// Checks the root start tag before the archive reads it. The archive
// compares the signature only over the document's own length, so that a
// prefix such as "serial" passes, and keeps the version in 16 bits before it
// compares it with its own, so that 65554 passes as 18. Here the signature
// must be the whole word and the version a number no higher than the
// library's.
void checkRootTag(const std::string& text) {
  const std::string open = "<boost_serialization";
  const std::size_t at = text.find(open);
  const std::size_t close = at == std::string::npos ? at : text.find('>', at);
  if (close == std::string::npos) refuse("no archive root element");
  const std::string tag = text.substr(at + 1, close - at - 1);
  std::string signature, version;
  if (!attribute(tag, "signature", &signature) || signature != "serialization::archive") refuse("invalid signature");
  if (!attribute(tag, "version", &version) || version.empty() || version.size() > 9 ||
      version.find_first_not_of("0123456789") != std::string::npos ||
      std::stoul(version) > boost::archive::BOOST_ARCHIVE_VERSION())
    throw boost::archive::archive_exception(boost::archive::archive_exception::unsupported_version);
}

// Writes every number the archive writes as the shortest text that reads
// back to the same value, in default notation: a float (the archive widens
// floats to double on their way here) as the float it was, "-0.5", "0" and
// "0.33333334" rather than "-5.000000000e-01". The archive's precision and
// notation flags are ignored; texts in scientific notation still read.
class ShortestNumbers : public std::num_put<char> {
 protected:
  iter_type do_put(iter_type out, std::ios_base&, char, double v) const override {
    char text[32];
    const float f = static_cast<float>(v);
    const std::to_chars_result end = static_cast<double>(f) == v ? std::to_chars(text, text + sizeof text, f)
                                                                 : std::to_chars(text, text + sizeof text, v);
    return std::copy(text, end.ptr, out);
  }
};

// A stream buffer that writes into a string through a block of its own, so
// that the archive's many one-character writes stay cheap and the text is
// made once, in place.
class StringSink : public std::streambuf {
 public:
  explicit StringSink(std::string& out) : out_(out) { setp(block_, block_ + sizeof block_); }
  ~StringSink() override { drain(); }

 protected:
  int_type overflow(int_type c) override {
    drain();
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
      *pptr() = traits_type::to_char_type(c);
      pbump(1);
    }
    return traits_type::not_eof(c);
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    if (n > epptr() - pptr()) {
      drain();
      if (n > epptr() - pptr()) {
        out_.append(s, static_cast<std::size_t>(n));
        return n;
      }
    }
    std::memcpy(pptr(), s, static_cast<std::size_t>(n));
    pbump(static_cast<int>(n));
    return n;
  }
  int sync() override {
    drain();
    return 0;
  }

 private:
  void drain() {
    out_.append(pbase(), static_cast<std::size_t>(pptr() - pbase()));
    setp(block_, block_ + sizeof block_);
  }

  std::string& out_;
  char block_[8192];
};

}  // namespace

std::string pointsToText(const PointList& points, std::size_t sizeHint) {
  std::string text;
  text.reserve(sizeHint);
  try {
    std::size_t length = 0;
    {
      StringSink sink(text);
      std::ostream stream(&sink);
      stream.imbue(std::locale(stream.getloc(), new ShortestNumbers));
      text::PointsOArchive archive(stream);
      archive << boost::serialization::make_nvp("points", points);
      // The text ends here: the archive adds a line break as it is
      // destroyed, which stored texts have never had.
      stream.flush();
      length = text.size();
    }
    text.resize(length);
    return text;
  } catch (const boost::archive::archive_exception&) {
    return std::string();
  }
}

namespace {

// A point's element begins a line with one tab: "\n\t<item>", or with the
// class attributes for the first point. Deeper items have more tabs, and
// "<item_version>" is no element of a point.
const char kPointStart[] = "\n\t<item";
const char kPointsEnd[] = "\n</points>";

bool pointStartsAt(const std::string& text, std::size_t at) {
  const std::size_t next = at + sizeof kPointStart - 1;
  return next < text.size() && (text[next] == '>' || text[next] == ' ');
}

// Where each point's element begins in `text`, and where the last one ends;
// empty when the count is not `count`.
std::vector<std::size_t> pointElements(const std::string& text, std::size_t count) {
  std::vector<std::size_t> starts;
  starts.reserve(count + 1);
  for (std::size_t at = text.find(kPointStart); at != std::string::npos; at = text.find(kPointStart, at + 1))
    if (pointStartsAt(text, at)) starts.push_back(at);
  const std::size_t end = text.rfind(kPointsEnd);
  if (starts.size() != count || end == std::string::npos || (count > 0 && end < starts.back())) return {};
  starts.push_back(end);
  return starts;
}

// Whether `text`, whose point elements begin at `starts`, has the frame that
// pointsToText gives a list of `count` points: the same document head, in
// which the archive names its version and the list its count, and the same
// tail. `small` is pointsToText of a shorter list, its elements at
// `smallStarts`. A text another archive version wrote may lay its elements
// out otherwise: one element of ours among them could make the document
// unreadable.
bool framedAsWritten(const std::string& text, const std::vector<std::size_t>& starts, const std::string& small,
                     const std::vector<std::size_t>& smallStarts, std::size_t count) {
  const std::string smallCount = "<count>" + std::to_string(smallStarts.size() - 1) + "</count>";
  const std::size_t at = small.find(smallCount);
  if (at == std::string::npos || at > smallStarts[0]) return false;
  const std::string head = small.substr(0, at) + "<count>" + std::to_string(count) + "</count>" +
                           small.substr(at + smallCount.size(), smallStarts[0] - at - smallCount.size());
  return text.compare(0, starts[0], head) == 0 &&
         text.compare(starts.back(), std::string::npos, small, smallStarts.back(), std::string::npos) == 0;
}

}  // namespace

bool rewritePointText(std::string& text, std::vector<std::size_t>& starts, const PointList& points, std::size_t index) {
  if (index >= points.size()) return false;
  const bool found = starts.size() == points.size() + 1;
  if (!found) starts = pointElements(text, points.size());
  if (starts.size() != points.size() + 1) return false;
  // The element as the whole text would have it: the first point's carries
  // the archive's class attributes, every later one is the second of two.
  PointList few{points[0]};
  if (index > 0) few.push_back(points[index]);
  const std::string small = pointsToText(few);
  const std::vector<std::size_t> smallStarts = pointElements(small, few.size());
  if (smallStarts.empty()) return false;
  if (!found && !framedAsWritten(text, starts, small, smallStarts, points.size())) {
    starts.clear();
    return false;
  }
  const std::size_t from = smallStarts[few.size() - 1], to = smallStarts[few.size()];
  const std::size_t oldLength = starts[index + 1] - starts[index], newLength = to - from;
  text.replace(starts[index], oldLength, small, from, newLength);
  for (std::size_t i = index + 1; i < starts.size(); ++i) starts[i] = starts[i] + newLength - oldLength;
  return true;
}

PointList textToPoints(const std::string& text) {
  if (text.empty()) return PointList();
  try {
    // A newer archive version may lay the data out differently: it is
    // refused like a damaged text.
    checkRootTag(text);
    std::istringstream stream(text);
    PointList points;
    {
      boost::archive::xml_iarchive archive(stream);
      const std::streamoff body = stream.tellg();
      if (body < 0) refuse("no document body");
      BodyCheck(text, static_cast<std::size_t>(body), archive.get_library_version()).run();
      archive >> boost::serialization::make_nvp("points", points);
      // Closing the archive reads the closing root tag, and a failure
      // there would be thrown from its destructor, ending the process.
      // Our texts never carry that tag and anything may follow the
      // points, so hand it exactly the tag it expects. When reading
      // fails instead, the exception unwinds through the destructor,
      // which then reads nothing.
      stream.clear();
      stream.str(kRootEndTag);
    }
    return points;
  } catch (const boost::archive::archive_exception& e) {
    std::cerr << "[Brunvik] WARNING: caught an exception when restore "
                 "control points: "
              << e.what() << std::endl;
    std::cerr << "[Brunvik] Mostly likely this is related to loading a "
                 "scene which was saved with an old version of Brunvik."
              << std::endl;
    return PointList();
  }
}

}  // namespace quorcard
