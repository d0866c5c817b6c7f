// How the update is made: the cross-reference sections are read from the
// newest back (the first entry found for an object wins), the page tree is
// walked from the catalog in page order with a stack of its own, and the
// pages kept are written again with every key they had but /Parent, plus
// /Resources, /MediaBox, /CropBox and /Rotate found up their old parents
// where they had none. The update's cross-reference section is of the same
// kind as the file's newest: a table after a table, a stream after a stream.
#include "ipp/pdf_pages.h"

#include <string.h>
#include <zlib.h>

namespace {

const size_t kNone = static_cast<size_t>(-1);
const uint32_t kMaxObjects = 1u << 21;
const size_t kObjectText = 1u << 20;  // the largest object value read whole
const size_t kMaxDecoded = 64u << 20;
const size_t kReadPiece = 64u * 1024;
const int kMaxSections = 256;
const int kMaxNesting = 64;
const int kMaxParents = 64;
const uint32_t kMaxPages = 1u << 17;
const char* const kInherited[] = {"/Resources", "/MediaBox", "/CropBox", "/Rotate"};
const int kInheritedCount = 4;

enum EntryType : uint8_t { kEntryUnseen, kEntryAtOffset, kEntryInStream, kEntryFree };

struct Entry {
  uint64_t where;  // file offset, or the object stream's number
  uint32_t index;  // within its object stream
  uint16_t generation;
  EntryType type;
};

struct Span {
  const uint8_t* at;
  size_t length;
};

// One object's value, copied out of the file or its object stream.
struct Text {
  uint8_t* bytes;  // kObjectText
  size_t length;
};

struct Written {
  uint32_t number;
  uint16_t generation;
  uint64_t offset;
};

struct Reader {
  const PdfInput* in;
  Entry* entries;
  uint32_t count;
  uint8_t* decoded;  // the object stream inflated last
  size_t decodedLength;
  uint32_t decodedNumber;
  uint32_t decodedObjects;
  size_t decodedFirst;
};

// --- bytes as PDF tokens ----------------------------------------------------

bool IsWhite(uint8_t c) { return c == 0 || c == 9 || c == 10 || c == 12 || c == 13 || c == 32; }

bool IsDelimiter(uint8_t c) {
  return c == '(' || c == ')' || c == '<' || c == '>' || c == '[' || c == ']' || c == '{' || c == '}' || c == '/' ||
         c == '%';
}

size_t SkipSpace(const uint8_t* s, size_t n, size_t i) {
  while (i < n) {
    if (IsWhite(s[i])) {
      ++i;
    } else if (s[i] == '%') {
      while (i < n && s[i] != '\n' && s[i] != '\r') ++i;
    } else {
      break;
    }
  }
  return i;
}

size_t TokenEnd(const uint8_t* s, size_t n, size_t i) {
  while (i < n && !IsWhite(s[i]) && !IsDelimiter(s[i])) ++i;
  return i;
}

bool IsUnsigned(const uint8_t* s, size_t from, size_t to) {
  if (from >= to || to - from > 18) return false;
  for (size_t i = from; i < to; ++i)
    if (s[i] < '0' || s[i] > '9') return false;
  return true;
}

uint64_t UnsignedAt(const uint8_t* s, size_t from, size_t to) {
  uint64_t value = 0;
  for (size_t i = from; i < to; ++i) value = value * 10 + static_cast<uint64_t>(s[i] - '0');
  return value;
}

bool IsToken(const uint8_t* s, size_t n, size_t i, const char* word) {
  size_t length = strlen(word);
  return n - i >= length && memcmp(s + i, word, length) == 0 && TokenEnd(s, n, i) == i + length;
}

// Where the value starting at `i` ends: a dictionary, array, string, name,
// number, keyword or "num gen R"; kNone when it does not end within `n`.
size_t ValueEnd(const uint8_t* s, size_t n, size_t i, int depth) {
  if (i >= n || depth > kMaxNesting) return kNone;
  uint8_t c = s[i];
  if (c == '<' && i + 1 < n && s[i + 1] == '<') {
    for (i += 2;;) {
      i = SkipSpace(s, n, i);
      if (i + 1 < n && s[i] == '>' && s[i + 1] == '>') return i + 2;
      if (i >= n || s[i] != '/') return kNone;
      i = ValueEnd(s, n, SkipSpace(s, n, TokenEnd(s, n, i + 1)), depth + 1);
      if (i == kNone) return kNone;
    }
  }
  if (c == '<') {
    while (i < n && s[i] != '>') ++i;
    return i < n ? i + 1 : kNone;
  }
  if (c == '[') {
    for (++i;;) {
      i = SkipSpace(s, n, i);
      if (i < n && s[i] == ']') return i + 1;
      i = ValueEnd(s, n, i, depth + 1);
      if (i == kNone) return kNone;
    }
  }
  if (c == '(') {
    int open = 0;
    for (; i < n; ++i) {
      if (s[i] == '\\') {
        ++i;
      } else if (s[i] == '(') {
        ++open;
      } else if (s[i] == ')' && --open == 0) {
        return i + 1;
      }
    }
    return kNone;
  }
  if (c == '/') return TokenEnd(s, n, i + 1);
  if (IsDelimiter(c)) return kNone;
  size_t end = TokenEnd(s, n, i);
  if (IsUnsigned(s, i, end)) {
    size_t generation = SkipSpace(s, n, end);
    size_t generationEnd = TokenEnd(s, n, generation);
    size_t r = SkipSpace(s, n, generationEnd);
    if (generation > end && IsUnsigned(s, generation, generationEnd) && r > generationEnd && IsToken(s, n, r, "R"))
      return r + 1;
  }
  return end;
}

// The entries of a dictionary whose bytes ValueEnd has already accepted.
struct DictWalk {
  Span dict;
  size_t at;
};

DictWalk WalkDict(Span dict) { return DictWalk{dict, 2}; }

bool NextEntry(DictWalk* walk, Span* key, Span* value) {
  const uint8_t* s = walk->dict.at;
  size_t n = walk->dict.length;
  size_t i = SkipSpace(s, n, walk->at);
  if (i >= n || s[i] != '/') return false;
  size_t keyEnd = TokenEnd(s, n, i + 1);
  size_t valueAt = SkipSpace(s, n, keyEnd);
  size_t valueEnd = ValueEnd(s, n, valueAt, 1);
  if (valueEnd == kNone) return false;
  *key = Span{s + i, keyEnd - i};
  *value = Span{s + valueAt, valueEnd - valueAt};
  walk->at = valueEnd;
  return true;
}

bool SpanIs(Span span, const char* text) {
  return span.length == strlen(text) && memcmp(span.at, text, span.length) == 0;
}

bool IsDict(Span span) { return span.length >= 4 && span.at[0] == '<' && span.at[1] == '<'; }

bool FindInDict(Span dict, const char* key, Span* value) {
  if (!IsDict(dict)) return false;
  DictWalk walk = WalkDict(dict);
  Span name;
  while (NextEntry(&walk, &name, value))
    if (SpanIs(name, key)) return true;
  return false;
}

bool SpanUnsigned(Span span, uint64_t* value) {
  if (!IsUnsigned(span.at, 0, span.length)) return false;
  *value = UnsignedAt(span.at, 0, span.length);
  return true;
}

bool SpanReference(Span span, uint32_t* number, uint16_t* generation) {
  size_t end = TokenEnd(span.at, span.length, 0);
  size_t second = SkipSpace(span.at, span.length, end);
  size_t secondEnd = TokenEnd(span.at, span.length, second);
  if (!IsUnsigned(span.at, 0, end) || !IsUnsigned(span.at, second, secondEnd) || span.at[span.length - 1] != 'R')
    return false;
  uint64_t n = UnsignedAt(span.at, 0, end);
  uint64_t g = UnsignedAt(span.at, second, secondEnd);
  if (n == 0 || n >= kMaxObjects || g > 65535) return false;
  *number = static_cast<uint32_t>(n);
  *generation = static_cast<uint16_t>(g);
  return true;
}

bool DictUnsigned(Span dict, const char* key, uint64_t* value) {
  Span found;
  return FindInDict(dict, key, &found) && SpanUnsigned(found, value);
}

bool DictReference(Span dict, const char* key, uint32_t* number, uint16_t* generation) {
  Span found;
  return FindInDict(dict, key, &found) && SpanReference(found, number, generation);
}

bool DictNameIs(Span dict, const char* key, const char* name) {
  Span found;
  return FindInDict(dict, key, &found) && SpanIs(found, name);
}

// The unsigned numbers of an array, at most `capacity` of them.
int ArrayNumbers(Span array, uint64_t* numbers, int capacity) {
  if (array.length < 2 || array.at[0] != '[') return -1;
  int count = 0;
  for (size_t i = 1;;) {
    i = SkipSpace(array.at, array.length, i);
    if (i < array.length && array.at[i] == ']') return count;
    size_t end = TokenEnd(array.at, array.length, i);
    if (count == capacity || !IsUnsigned(array.at, i, end)) return -1;
    numbers[count++] = UnsignedAt(array.at, i, end);
    i = end;
  }
}

// --- the file ------------------------------------------------------------

// Up to `size` bytes from `offset`, fewer at the file's end.
size_t ReadAt(const Reader* r, uint64_t offset, uint8_t* bytes, size_t size) {
  if (offset >= r->in->size) return 0;
  uint64_t left = r->in->size - offset;
  size_t length = left < size ? static_cast<size_t>(left) : size;
  return r->in->read(r->in->context, offset, bytes, length) ? length : 0;
}

// The value after `offset` (a dictionary after "trailer", or an object's
// value after "num gen obj") into `text`; `dataAt` where its stream's data
// starts, 0 when it has none.
bool ReadValueAt(const Reader* r, uint64_t offset, Text* text, uint64_t* dataAt) {
  size_t n = ReadAt(r, offset, text->bytes, kObjectText);
  size_t start = SkipSpace(text->bytes, n, 0);
  size_t end = ValueEnd(text->bytes, n, start, 0);
  if (end == kNone) return false;
  *dataAt = 0;
  size_t after = SkipSpace(text->bytes, n, end);
  if (IsToken(text->bytes, n, after, "stream")) {
    after += 6;
    if (after < n && text->bytes[after] == '\r') ++after;
    if (after < n && text->bytes[after] == '\n') *dataAt = offset + after + 1;
  }
  memmove(text->bytes, text->bytes + start, end - start);
  text->length = end - start;
  return true;
}

// "num gen obj" at `offset`, then its value; `number` 0 takes any number.
bool ReadObjectAt(const Reader* r, uint64_t offset, uint32_t number, Text* text, uint64_t* dataAt) {
  uint8_t head[64];
  size_t n = ReadAt(r, offset, head, sizeof head);
  size_t i = SkipSpace(head, n, 0);
  size_t end = TokenEnd(head, n, i);
  if (!IsUnsigned(head, i, end) || (number != 0 && UnsignedAt(head, i, end) != number)) return false;
  i = SkipSpace(head, n, end);
  end = TokenEnd(head, n, i);
  if (!IsUnsigned(head, i, end)) return false;
  i = SkipSpace(head, n, end);
  if (!IsToken(head, n, i, "obj")) return false;
  return ReadValueAt(r, offset + i + 3, text, dataAt);
}

Span SpanOf(const Text* text) { return Span{text->bytes, text->length}; }

// PNG predictors (RFC 2083 6), one byte a pixel, rows of `columns` bytes
// each led by its filter; undone in place.
bool UndoPredictor(uint8_t* bytes, size_t* length, size_t columns) {
  if (columns == 0 || *length % (columns + 1) != 0) return false;
  size_t rows = *length / (columns + 1);
  for (size_t row = 0; row < rows; ++row) {
    const uint8_t* in = bytes + row * (columns + 1);
    uint8_t filter = in[0];
    uint8_t* out = bytes + row * columns;
    const uint8_t* above = row > 0 ? out - columns : nullptr;
    for (size_t j = 0; j < columns; ++j) {
      int left = j > 0 ? out[j - 1] : 0;
      int up = above != nullptr ? above[j] : 0;
      int upLeft = above != nullptr && j > 0 ? above[j - 1] : 0;
      int predicted = 0;
      if (filter == 1) {
        predicted = left;
      } else if (filter == 2) {
        predicted = up;
      } else if (filter == 3) {
        predicted = (left + up) / 2;
      } else if (filter == 4) {
        int p = left + up - upLeft;
        int pa = p > left ? p - left : left - p;
        int pb = p > up ? p - up : up - p;
        int pc = p > upLeft ? p - upLeft : upLeft - p;
        predicted = pa <= pb && pa <= pc ? left : pb <= pc ? up : upLeft;
      } else if (filter != 0) {
        return false;
      }
      out[j] = static_cast<uint8_t>(in[1 + j] + predicted);
    }
  }
  *length = rows * columns;
  return true;
}

bool IsFlate(Span filter) { return SpanIs(filter, "/FlateDecode") || SpanIs(filter, "[/FlateDecode]"); }

// A stream's data, inflated when it is Flate-compressed, in memory the
// caller releases. Its /Length must be a number in the dictionary itself or
// in an object at an offset.
bool ReadStream(const Reader* r, Span dict, uint64_t dataAt, uint8_t** out, size_t* outLength) {
  Span found;
  uint64_t length = 0;
  if (!FindInDict(dict, "/Length", &found) || dataAt == 0) return false;
  uint32_t number = 0;
  uint16_t generation = 0;
  if (SpanReference(found, &number, &generation)) {
    if (number >= r->count || r->entries == nullptr || r->entries[number].type != kEntryAtOffset) return false;
    uint8_t head[64];
    size_t n = ReadAt(r, r->entries[number].where, head, sizeof head);
    size_t i = SkipSpace(head, n, 0);
    for (int token = 0; token < 3; ++token) i = SkipSpace(head, n, TokenEnd(head, n, i));
    size_t end = TokenEnd(head, n, i);
    if (!IsUnsigned(head, i, end)) return false;
    length = UnsignedAt(head, i, end);
  } else if (!SpanUnsigned(found, &length)) {
    return false;
  }
  if (dataAt > r->in->size || length > r->in->size - dataAt) return false;
  bool flate = FindInDict(dict, "/Filter", &found);
  if (flate && !IsFlate(found)) return false;
  if (!flate && length > kMaxDecoded) return false;
  size_t capacity = flate ? 256 * 1024 : static_cast<size_t>(length);
  uint8_t* bytes = static_cast<uint8_t*>(r->in->allocate(capacity + 1));
  uint8_t* piece = flate ? static_cast<uint8_t*>(r->in->allocate(kReadPiece)) : nullptr;
  bool done = bytes != nullptr && (!flate || piece != nullptr);
  size_t produced = 0;
  if (done && !flate) {
    done = ReadAt(r, dataAt, bytes, capacity) == capacity;
    produced = capacity;
  } else if (done) {
    z_stream zip = {};
    done = inflateInit(&zip) == Z_OK;
    uint64_t consumed = 0;
    int status = Z_OK;
    while (done && status != Z_STREAM_END) {
      if (zip.avail_in == 0) {
        size_t want = length - consumed < kReadPiece ? static_cast<size_t>(length - consumed) : kReadPiece;
        if (want == 0 || ReadAt(r, dataAt + consumed, piece, want) != want) break;
        consumed += want;
        zip.next_in = piece;
        zip.avail_in = static_cast<uInt>(want);
      }
      if (produced == capacity) {
        size_t grown = capacity * 2;
        uint8_t* larger = grown <= kMaxDecoded ? static_cast<uint8_t*>(r->in->allocate(grown + 1)) : nullptr;
        if (larger == nullptr) {
          done = false;
          break;
        }
        memcpy(larger, bytes, produced);
        r->in->release(bytes);
        bytes = larger;
        capacity = grown;
      }
      zip.next_out = bytes + produced;
      zip.avail_out = static_cast<uInt>(capacity - produced);
      status = inflate(&zip, Z_NO_FLUSH);
      produced = capacity - zip.avail_out;
      if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR) done = false;
      if (status == Z_BUF_ERROR && zip.avail_in != 0 && zip.avail_out != 0) done = false;
    }
    // Some writers leave the compressed data's end out: what inflated is kept.
    done = done && produced > 0;
    inflateEnd(&zip);
  }
  if (piece != nullptr) r->in->release(piece);
  Span parameters;
  if (done && FindInDict(dict, "/DecodeParms", &parameters)) {
    uint64_t predictor = 1, columns = 1, colors = 1, bits = 8;
    DictUnsigned(parameters, "/Predictor", &predictor);
    DictUnsigned(parameters, "/Columns", &columns);
    DictUnsigned(parameters, "/Colors", &colors);
    DictUnsigned(parameters, "/BitsPerComponent", &bits);
    if (predictor >= 10)
      done =
          colors == 1 && bits == 8 && columns <= 4096 && UndoPredictor(bytes, &produced, static_cast<size_t>(columns));
    else
      done = predictor == 1;
  }
  if (!done) {
    if (bytes != nullptr) r->in->release(bytes);
    return false;
  }
  *out = bytes;
  *outLength = produced;
  return true;
}

// --- objects ---------------------------------------------------------------

bool LoadObjectStream(Reader* r, uint32_t number, Text* text) {
  if (r->decodedNumber == number && r->decoded != nullptr) return true;
  if (r->decoded != nullptr) r->in->release(r->decoded);
  r->decoded = nullptr;
  r->decodedNumber = 0;
  uint64_t dataAt = 0, objects = 0, first = 0;
  if (number >= r->count || r->entries[number].type != kEntryAtOffset ||
      !ReadObjectAt(r, r->entries[number].where, number, text, &dataAt))
    return false;
  Span dict = SpanOf(text);
  if (!DictNameIs(dict, "/Type", "/ObjStm") || !DictUnsigned(dict, "/N", &objects) ||
      !DictUnsigned(dict, "/First", &first) || !ReadStream(r, dict, dataAt, &r->decoded, &r->decodedLength))
    return false;
  r->decodedNumber = number;
  r->decodedObjects = objects < kMaxObjects ? static_cast<uint32_t>(objects) : 0;
  r->decodedFirst = first <= r->decodedLength ? static_cast<size_t>(first) : r->decodedLength;
  return true;
}

bool LoadFromObjectStream(Reader* r, const Entry* entry, uint32_t number, Text* text) {
  if (entry->where >= kMaxObjects || !LoadObjectStream(r, static_cast<uint32_t>(entry->where), text) ||
      entry->index >= r->decodedObjects)
    return false;
  const uint8_t* s = r->decoded;
  size_t n = r->decodedFirst;
  size_t i = 0;
  for (uint32_t k = 0; k <= entry->index; ++k) {
    size_t numberAt = SkipSpace(s, n, i);
    size_t numberEnd = TokenEnd(s, n, numberAt);
    size_t offsetAt = SkipSpace(s, n, numberEnd);
    size_t offsetEnd = TokenEnd(s, n, offsetAt);
    if (!IsUnsigned(s, numberAt, numberEnd) || !IsUnsigned(s, offsetAt, offsetEnd)) return false;
    i = offsetEnd;
    if (k < entry->index) continue;
    uint64_t offset = UnsignedAt(s, offsetAt, offsetEnd);
    if (UnsignedAt(s, numberAt, numberEnd) != number || offset > r->decodedLength - r->decodedFirst) return false;
    size_t start = SkipSpace(s, r->decodedLength, r->decodedFirst + static_cast<size_t>(offset));
    size_t end = ValueEnd(s, r->decodedLength, start, 0);
    if (end == kNone || end - start > kObjectText) return false;
    memcpy(text->bytes, s + start, end - start);
    text->length = end - start;
    return true;
  }
  return false;
}

bool LoadObject(Reader* r, uint32_t number, Text* text) {
  if (number >= r->count) return false;
  const Entry entry = r->entries[number];
  uint64_t dataAt = 0;
  if (entry.type == kEntryAtOffset) return ReadObjectAt(r, entry.where, number, text, &dataAt);
  if (entry.type == kEntryInStream) return LoadFromObjectStream(r, &entry, number, text);
  return false;
}

// --- the cross-reference sections ----------------------------------------

void SetEntry(Reader* r, uint64_t number, EntryType type, uint64_t where, uint64_t index, uint64_t generation) {
  if (r->entries == nullptr || number >= r->count || r->entries[number].type != kEntryUnseen) return;
  r->entries[number] = Entry{where, static_cast<uint32_t>(index), static_cast<uint16_t>(generation), type};
}

// A table's entries, each of exactly 20 bytes.
bool ReadTableEntries(Reader* r, uint64_t at, uint64_t first, uint64_t count, uint8_t* piece) {
  const size_t kEntriesAPiece = kReadPiece / 20;
  for (uint64_t done = 0; done < count;) {
    size_t now = count - done < kEntriesAPiece ? static_cast<size_t>(count - done) : kEntriesAPiece;
    if (ReadAt(r, at + done * 20, piece, now * 20) != now * 20) return false;
    for (size_t k = 0; k < now; ++k) {
      const uint8_t* e = piece + k * 20;
      if (!IsUnsigned(e, 0, 10) || !IsUnsigned(e, 11, 16) || (e[17] != 'n' && e[17] != 'f')) return false;
      SetEntry(r, first + done + k, e[17] == 'n' ? kEntryAtOffset : kEntryFree, UnsignedAt(e, 0, 10), 0,
               UnsignedAt(e, 11, 16));
    }
    done += now;
  }
  return true;
}

// A classic section at `offset`: its entries (when the reader has room for
// them) and its trailer into `trailer`.
bool ReadTable(Reader* r, uint64_t offset, Text* trailer, uint8_t* piece) {
  uint8_t line[64];
  size_t n = ReadAt(r, offset, line, sizeof line);
  size_t i = SkipSpace(line, n, 0);
  if (!IsToken(line, n, i, "xref")) return false;
  uint64_t at = offset + i + 4;
  for (int sections = 0; sections < 100000; ++sections) {
    n = ReadAt(r, at, line, sizeof line);
    i = SkipSpace(line, n, 0);
    uint64_t dataAt = 0;
    if (IsToken(line, n, i, "trailer")) return ReadValueAt(r, at + i + 7, trailer, &dataAt) && IsDict(SpanOf(trailer));
    size_t firstEnd = TokenEnd(line, n, i);
    size_t countAt = SkipSpace(line, n, firstEnd);
    size_t countEnd = TokenEnd(line, n, countAt);
    if (!IsUnsigned(line, i, firstEnd) || !IsUnsigned(line, countAt, countEnd)) return false;
    uint64_t first = UnsignedAt(line, i, firstEnd);
    uint64_t count = UnsignedAt(line, countAt, countEnd);
    uint64_t entriesAt = at + SkipSpace(line, n, countEnd);
    if (entriesAt > r->in->size || count > (r->in->size - entriesAt) / 20) return false;
    if (r->entries != nullptr && !ReadTableEntries(r, entriesAt, first, count, piece)) return false;
    at = entriesAt + count * 20;
  }
  return false;
}

uint64_t Field(const uint8_t* bytes, uint64_t width) {
  uint64_t value = 0;
  for (uint64_t k = 0; k < width; ++k) value = (value << 8) | bytes[k];
  return value;
}

// A cross-reference stream at `offset`: its entries (when the reader has
// room for them), its dictionary into `trailer`.
bool ReadXrefStream(Reader* r, uint64_t offset, Text* trailer) {
  uint64_t dataAt = 0;
  if (!ReadObjectAt(r, offset, 0, trailer, &dataAt)) return false;
  Span dict = SpanOf(trailer);
  uint64_t size = 0;
  uint64_t widths[3];
  Span found;
  if (!DictNameIs(dict, "/Type", "/XRef") || !DictUnsigned(dict, "/Size", &size) || !FindInDict(dict, "/W", &found) ||
      ArrayNumbers(found, widths, 3) != 3 || widths[0] > 1 || widths[1] > 8 || widths[2] > 4)
    return false;
  if (r->entries == nullptr) return true;
  uint64_t index[512] = {0, size};
  int indexCount = 2;
  if (FindInDict(dict, "/Index", &found)) indexCount = ArrayNumbers(found, index, 512);
  if (indexCount < 0 || indexCount % 2 != 0) return false;
  uint8_t* bytes = nullptr;
  size_t length = 0;
  if (!ReadStream(r, dict, dataAt, &bytes, &length)) return false;
  uint64_t rowSize = widths[0] + widths[1] + widths[2];
  uint64_t row = 0;
  bool whole = rowSize > 0;
  for (int k = 0; whole && k < indexCount; k += 2) {
    for (uint64_t object = 0; whole && object < index[k + 1]; ++object, ++row) {
      if ((row + 1) * rowSize > length) {
        whole = false;
        break;
      }
      const uint8_t* e = bytes + row * rowSize;
      uint64_t type = widths[0] == 0 ? 1 : Field(e, widths[0]);
      uint64_t second = Field(e + widths[0], widths[1]);
      uint64_t third = Field(e + widths[0] + widths[1], widths[2]);
      uint64_t number = index[k] + object;
      if (type == 0) SetEntry(r, number, kEntryFree, 0, 0, 0);
      if (type == 1) SetEntry(r, number, kEntryAtOffset, second, 0, third);
      if (type == 2) SetEntry(r, number, kEntryInStream, second, third, 0);
    }
  }
  r->in->release(bytes);
  return whole;
}

bool ReadSection(Reader* r, uint64_t offset, Text* trailer, uint8_t* piece, bool* table) {
  uint8_t head[16];
  size_t n = ReadAt(r, offset, head, sizeof head);
  *table = IsToken(head, n, SkipSpace(head, n, 0), "xref");
  return *table ? ReadTable(r, offset, trailer, piece) : ReadXrefStream(r, offset, trailer);
}

bool FindStartXref(const Reader* r, uint64_t* offset) {
  uint8_t tail[1024];
  uint64_t from = r->in->size > sizeof tail ? r->in->size - sizeof tail : 0;
  size_t n = ReadAt(r, from, tail, sizeof tail);
  for (size_t i = n; i-- > 0;) {
    if (!IsToken(tail, n, i, "startxref")) continue;
    size_t at = SkipSpace(tail, n, i + 9);
    size_t end = TokenEnd(tail, n, at);
    if (!IsUnsigned(tail, at, end)) return false;
    *offset = UnsignedAt(tail, at, end);
    return *offset < r->in->size;
  }
  return false;
}

// --- the update ------------------------------------------------------------

struct Update {
  Reader reader;
  Text node, parent;
  uint8_t* piece;
  uint32_t* stack;
  Written* kept;  // the pages kept, in page order
  uint32_t keptCount;
  Written* written;  // every object the update writes
  uint32_t writtenCount;
  bool table;  // the newest section is a table
  uint64_t newestSection;
  uint32_t size;
  uint32_t catalog;
  uint16_t catalogGeneration;
  char info[64];
  char id[256];
};

void PutSpan(PdfSink* out, Span span) { PutPdfBytes(out, span.at, span.length); }

void CopyTrailerValue(Span trailer, const char* key, char* out, size_t size) {
  Span value;
  out[0] = '\0';
  if (!FindInDict(trailer, key, &value) || value.length >= size) return;
  memcpy(out, value.at, value.length);
  out[value.length] = '\0';
}

// The page tree in page order; the pages in the ranges are kept.
bool WalkPages(Update* u, const PageRanges* ranges) {
  Reader* r = &u->reader;
  uint32_t number = 0;
  uint16_t generation = 0;
  if (!LoadObject(r, u->catalog, &u->node) || !DictReference(SpanOf(&u->node), "/Pages", &number, &generation))
    return false;
  uint32_t top = 0;
  u->stack[top++] = number;
  uint32_t page = 0;
  for (uint64_t visits = 0; top > 0; ++visits) {
    if (visits > r->count) return false;  // a loop in the tree
    number = u->stack[--top];
    if (!LoadObject(r, number, &u->node)) return false;
    Span node = SpanOf(&u->node);
    Span kids;
    if (!IsDict(node)) return false;
    if (DictNameIs(node, "/Type", "/Pages") ||
        (!DictNameIs(node, "/Type", "/Page") && FindInDict(node, "/Kids", &kids))) {
      if (!FindInDict(node, "/Kids", &kids) || kids.at[0] != '[') return false;
      uint32_t count = 0;
      for (size_t i = SkipSpace(kids.at, kids.length, 1); i < kids.length && kids.at[i] != ']';) {
        size_t end = ValueEnd(kids.at, kids.length, i, 1);
        if (end == kNone) return false;
        ++count;
        i = SkipSpace(kids.at, kids.length, end);
      }
      if (count > kMaxPages - top) return false;
      uint32_t k = 0;
      for (size_t i = SkipSpace(kids.at, kids.length, 1); i < kids.length && kids.at[i] != ']'; ++k) {
        size_t end = ValueEnd(kids.at, kids.length, i, 1);
        uint16_t kidGeneration = 0;
        if (!SpanReference(Span{kids.at + i, end - i}, &u->stack[top + count - 1 - k], &kidGeneration)) return false;
        i = SkipSpace(kids.at, kids.length, end);
      }
      top += count;
      continue;
    }
    ++page;
    if (!IsPageSelected(ranges, page)) continue;
    if (u->keptCount == kMaxPages) return false;
    u->kept[u->keptCount++] = Written{number, r->entries[number].generation, 0};
  }
  return true;
}

// The page again, its parent the new tree, with what it inherited.
bool WritePage(Update* u, Written* page, uint32_t tree, PdfSink* out) {
  Reader* r = &u->reader;
  if (!LoadObject(r, page->number, &u->node)) return false;
  Span dict = SpanOf(&u->node);
  page->offset = out->written;
  PutPdfNumber(out, page->number);
  PutPdfText(out, " ");
  PutPdfNumber(out, page->generation);
  PutPdfText(out, " obj\n<<");
  bool has[kInheritedCount] = {};
  DictWalk walk = WalkDict(dict);
  Span key, value;
  while (NextEntry(&walk, &key, &value)) {
    if (SpanIs(key, "/Parent")) continue;
    for (int k = 0; k < kInheritedCount; ++k) has[k] = has[k] || SpanIs(key, kInherited[k]);
    PutPdfText(out, " ");
    PutSpan(out, key);
    PutPdfText(out, " ");
    PutSpan(out, value);
  }
  uint32_t parent = 0;
  uint16_t generation = 0;
  bool more = DictReference(dict, "/Parent", &parent, &generation);
  for (int depth = 0; more && depth < kMaxParents; ++depth) {
    if (!LoadObject(r, parent, &u->parent)) return false;
    Span ancestor = SpanOf(&u->parent);
    for (int k = 0; k < kInheritedCount; ++k) {
      if (has[k] || !FindInDict(ancestor, kInherited[k], &value)) continue;
      has[k] = true;
      PutPdfText(out, " ");
      PutPdfText(out, kInherited[k]);
      PutPdfText(out, " ");
      PutSpan(out, value);
    }
    more = DictReference(ancestor, "/Parent", &parent, &generation);
  }
  PutPdfText(out, " /Parent ");
  PutPdfNumber(out, tree);
  PutPdfText(out, " 0 R >>\nendobj\n");
  u->written[u->writtenCount++] = *page;
  return true;
}

bool WriteTreeAndCatalog(Update* u, uint32_t tree, PdfSink* out) {
  u->written[u->writtenCount++] = Written{tree, 0, out->written};
  PutPdfNumber(out, tree);
  PutPdfText(out, " 0 obj\n<< /Type /Pages /Count ");
  PutPdfNumber(out, u->keptCount);
  PutPdfText(out, " /Kids [");
  for (uint32_t k = 0; k < u->keptCount; ++k) {
    PutPdfNumber(out, u->kept[k].number);
    PutPdfText(out, " ");
    PutPdfNumber(out, u->kept[k].generation);
    PutPdfText(out, " R ");
  }
  PutPdfText(out, "] >>\nendobj\n");
  if (!LoadObject(&u->reader, u->catalog, &u->node)) return false;
  u->written[u->writtenCount++] = Written{u->catalog, u->catalogGeneration, out->written};
  PutPdfNumber(out, u->catalog);
  PutPdfText(out, " ");
  PutPdfNumber(out, u->catalogGeneration);
  PutPdfText(out, " obj\n<<");
  DictWalk walk = WalkDict(SpanOf(&u->node));
  Span key, value;
  while (NextEntry(&walk, &key, &value)) {
    if (SpanIs(key, "/Pages")) continue;
    PutPdfText(out, " ");
    PutSpan(out, key);
    PutPdfText(out, " ");
    PutSpan(out, value);
  }
  PutPdfText(out, " /Pages ");
  PutPdfNumber(out, tree);
  PutPdfText(out, " 0 R >>\nendobj\n");
  return true;
}

// By object number, for the cross-reference section (heap sort: the pages
// kept may be many).
void SortWritten(Written* items, uint32_t count) {
  auto sift = [items](uint32_t root, uint32_t end) {
    for (uint32_t child; (child = 2 * root + 1) < end; root = child) {
      if (child + 1 < end && items[child + 1].number > items[child].number) ++child;
      if (items[root].number >= items[child].number) return;
      Written swap = items[root];
      items[root] = items[child];
      items[child] = swap;
    }
  };
  for (uint32_t i = count / 2; i-- > 0;) sift(i, count);
  for (uint32_t end = count; end-- > 1;) {
    Written swap = items[0];
    items[0] = items[end];
    items[end] = swap;
    sift(0, end);
  }
}

void PutTrailerKeys(Update* u, PdfSink* out, uint32_t size) {
  PutPdfText(out, " /Size ");
  PutPdfNumber(out, size);
  PutPdfText(out, " /Root ");
  PutPdfNumber(out, u->catalog);
  PutPdfText(out, " ");
  PutPdfNumber(out, u->catalogGeneration);
  PutPdfText(out, " R /Prev ");
  PutPdfNumber(out, u->newestSection);
  if (u->info[0] != '\0') {
    PutPdfText(out, " /Info ");
    PutPdfText(out, u->info);
  }
  if (u->id[0] != '\0') {
    PutPdfText(out, " /ID ");
    PutPdfText(out, u->id);
  }
}

void WriteCrossReferences(Update* u, PdfSink* out) {
  uint64_t section = out->written;
  uint32_t size = u->size + 1;
  if (!u->table) {
    u->written[u->writtenCount++] = Written{u->size + 1, 0, section};
    size = u->size + 2;
  }
  SortWritten(u->written, u->writtenCount);
  uint32_t unique = 0;
  for (uint32_t k = 0; k < u->writtenCount; ++k)
    if (unique == 0 || u->written[unique - 1].number != u->written[k].number) u->written[unique++] = u->written[k];
  if (u->table) {
    PutPdfText(out, "xref\n");
    for (uint32_t k = 0; k < unique; ++k) {
      PutPdfNumber(out, u->written[k].number);
      PutPdfText(out, " 1\n");
      char entry[21] = "0000000000 00000 n\r\n";
      uint64_t offset = u->written[k].offset;
      for (int digit = 9; digit >= 0; --digit, offset /= 10) entry[digit] = static_cast<char>('0' + offset % 10);
      uint32_t generation = u->written[k].generation;
      for (int digit = 15; digit >= 11; --digit, generation /= 10)
        entry[digit] = static_cast<char>('0' + generation % 10);
      PutPdfBytes(out, entry, 20);
    }
    PutPdfText(out, "trailer\n<<");
    PutTrailerKeys(u, out, size);
    PutPdfText(out, " >>\n");
  } else {
    PutPdfNumber(out, u->size + 1);
    PutPdfText(out, " 0 obj\n<< /Type /XRef");
    PutTrailerKeys(u, out, size);
    PutPdfText(out, " /W [1 8 2] /Length ");
    PutPdfNumber(out, static_cast<uint64_t>(unique) * 11);
    PutPdfText(out, " /Index [");
    for (uint32_t k = 0; k < unique; ++k) {
      PutPdfNumber(out, u->written[k].number);
      PutPdfText(out, " 1 ");
    }
    PutPdfText(out, "] >>\nstream\n");
    for (uint32_t k = 0; k < unique; ++k) {
      uint8_t row[11] = {1};
      for (int b = 0; b < 8; ++b) row[1 + b] = static_cast<uint8_t>(u->written[k].offset >> (56 - 8 * b));
      row[9] = static_cast<uint8_t>(u->written[k].generation >> 8);
      row[10] = static_cast<uint8_t>(u->written[k].generation);
      PutPdfBytes(out, row, sizeof row);
    }
    PutPdfText(out, "\nendstream\nendobj\n");
  }
  PutPdfText(out, "startxref\n");
  PutPdfNumber(out, section);
  PutPdfText(out, "\n%%EOF\n");
}

// The newest section's trailer first (its /Size sizes the table), then
// every section from the newest back.
PdfPagesResult ReadCrossReferences(Update* u) {
  Reader* r = &u->reader;
  uint64_t offset = 0;
  if (!FindStartXref(r, &offset) || !ReadSection(r, offset, &u->node, u->piece, &u->table)) return kPdfPagesUnreadable;
  Span trailer = SpanOf(&u->node);
  Span found;
  if (FindInDict(trailer, "/Encrypt", &found)) return kPdfPagesEncrypted;
  uint64_t size = 0;
  if (!DictUnsigned(trailer, "/Size", &size) || size == 0 || size >= kMaxObjects - 2 ||
      !DictReference(trailer, "/Root", &u->catalog, &u->catalogGeneration))
    return kPdfPagesUnreadable;
  CopyTrailerValue(trailer, "/Info", u->info, sizeof u->info);
  CopyTrailerValue(trailer, "/ID", u->id, sizeof u->id);
  u->newestSection = offset;
  u->size = static_cast<uint32_t>(size);
  r->count = u->size;
  r->entries = static_cast<Entry*>(r->in->allocate(sizeof(Entry) * r->count));
  if (r->entries == nullptr) return kPdfPagesUnreadable;
  memset(r->entries, 0, sizeof(Entry) * r->count);
  uint64_t sections[kMaxSections];
  int pending = 0;
  sections[pending++] = offset;
  for (int read = 0; pending > 0; ++read) {
    bool table = false;
    if (read == kMaxSections || !ReadSection(r, sections[--pending], &u->node, u->piece, &table))
      return kPdfPagesUnreadable;
    uint64_t next = 0;
    // The older section goes below the stream a hybrid table names.
    if (DictUnsigned(SpanOf(&u->node), "/Prev", &next) && pending < kMaxSections) sections[pending++] = next;
    if (table && DictUnsigned(SpanOf(&u->node), "/XRefStm", &next) && pending < kMaxSections)
      sections[pending++] = next;
  }
  return kPdfPagesKept;
}

void ReleaseUpdate(Update* u) {
  const PdfInput* in = u->reader.in;
  void* blocks[] = {u->reader.entries, u->reader.decoded, u->node.bytes, u->parent.bytes,
                    u->piece,          u->stack,          u->kept,       u->written};
  for (void* block : blocks)
    if (block != nullptr) in->release(block);
}

}  // namespace

PdfPagesResult KeepPdfPages(const PdfInput* in, const PageRanges* ranges, PdfSink* out, uint32_t* kept) {
  *kept = 0;
  Update u = {};
  u.reader.in = in;
  u.node.bytes = static_cast<uint8_t*>(in->allocate(kObjectText));
  u.parent.bytes = static_cast<uint8_t*>(in->allocate(kObjectText));
  u.piece = static_cast<uint8_t*>(in->allocate(kReadPiece));
  u.stack = static_cast<uint32_t*>(in->allocate(sizeof(uint32_t) * kMaxPages));
  u.kept = static_cast<Written*>(in->allocate(sizeof(Written) * kMaxPages));
  u.written = static_cast<Written*>(in->allocate(sizeof(Written) * (kMaxPages + 3)));
  PdfPagesResult result = kPdfPagesUnreadable;
  if (u.node.bytes != nullptr && u.parent.bytes != nullptr && u.piece != nullptr && u.stack != nullptr &&
      u.kept != nullptr && u.written != nullptr)
    result = ReadCrossReferences(&u);
  if (result == kPdfPagesKept && !WalkPages(&u, ranges)) result = kPdfPagesUnreadable;
  if (result == kPdfPagesKept && u.keptCount == 0) result = kPdfPagesNoneKept;
  if (result == kPdfPagesKept) {
    uint32_t tree = u.size;
    PutPdfText(out, "\n");
    for (uint32_t k = 0; k < u.keptCount && result == kPdfPagesKept; ++k)
      if (!WritePage(&u, &u.kept[k], tree, out)) result = kPdfPagesUnreadable;
    if (result == kPdfPagesKept && !WriteTreeAndCatalog(&u, tree, out)) result = kPdfPagesUnreadable;
    if (result == kPdfPagesKept) WriteCrossReferences(&u, out);
    if (out->failed) result = kPdfPagesUnreadable;
  }
  if (result == kPdfPagesKept) *kept = u.keptCount;
  ReleaseUpdate(&u);
  return result;
}
