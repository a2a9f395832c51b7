// Writes the six placeholder firmware images (UDATA9.hex ... UDATAE.hex) into the
// directory given as the only argument. The output is the same on every run.
//
// Each image is Intel HEX with data records (type 00) and one end-of-file record
// (type 01) as its last line, every line ending in CR LF. Its shape is fixed by
// the figures below: number of data records, how many of them carry 16 bytes,
// data bytes, lowest and highest address and number of gaps. The short records
// (1 to 15 bytes) and the gaps are spread over the image after its first
// LEADING_FULL_RECORDS records, which all carry 16 bytes; the data bytes are
// pseudo-random. The program's progress display relies on those leading records.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr int LEADING_FULL_RECORDS = 41;

struct ImageShape {
  const char* name;
  int records;      // data records
  int fullRecords;  // data records with 16 bytes
  int dataBytes;
  int lowAddress;   // of the first data byte
  int highAddress;  // of the last data byte
  int gaps;
  std::uint32_t seed;
};

constexpr ImageShape SHAPES[] = {
    {"UDATA9", 4101, 4092, 65536, 0x0000, 0xFFFF, 0, 0x9A11CE09u},
    {"UDATAA", 4101, 4089, 65536, 0x0000, 0xFFFF, 0, 0x9A11CE0Au},
    {"UDATAB", 4099, 4092, 65536, 0x0000, 0xFFFF, 0, 0x9A11CE0Bu},
    {"UDATAC", 2376, 2347, 37741, 0x0000, 0x939F, 13, 0x9A11CE0Cu},
    {"UDATAD", 0, 0, 0, 0, 0, 0, 0x9A11CE0Du},
    {"UDATAE", 1104, 1100, 17631, 0x0000, 0xFFFF, 4, 0x9A11CE0Eu},
};

// xorshift32: a small generator whose sequence is the same on every platform.
class Random {
 public:
  explicit Random(std::uint32_t seed) : state_(seed != 0 ? seed : 1) {}
  std::uint32_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
  }
  int Below(int bound) { return static_cast<int>(Next() % static_cast<std::uint32_t>(bound)); }

 private:
  std::uint32_t state_;
};

// Splits `total` into `count` parts, each within [low, high], by moving amounts
// between random parts of an even split.
std::vector<int> SplitEvenlyWithJitter(int total, int count, int low, int high, Random& random) {
  std::vector<int> parts(count, total / count);
  for (int i = 0; i < total % count; ++i) ++parts[i];
  const int maxMove = std::max(1, total / count / 2);
  for (int round = 0; round < count * 4; ++round) {
    const int from = random.Below(count), to = random.Below(count);
    const int amount = 1 + random.Below(maxMove);
    if (from != to && parts[from] - amount >= low && parts[to] + amount <= high) {
      parts[from] -= amount;
      parts[to] += amount;
    }
  }
  return parts;
}

// Picks `count` distinct indices in [first, end): one at random in each of `count`
// equal slices, so they spread over the range.
std::vector<int> SpreadIndices(int first, int end, int count, Random& random) {
  std::vector<int> picked;
  const int span = end - first;
  for (int k = 0; k < count; ++k) {
    const int sliceStart = first + static_cast<int>(static_cast<long long>(span) * k / count);
    const int sliceEnd = first + static_cast<int>(static_cast<long long>(span) * (k + 1) / count);
    picked.push_back(sliceStart + random.Below(sliceEnd - sliceStart));
  }
  return picked;
}

void AppendHexByte(std::string& line, int value) {
  static const char DIGITS[] = "0123456789ABCDEF";
  line += DIGITS[(value >> 4) & 0xF];
  line += DIGITS[value & 0xF];
}

// One record with its checksum and CR LF.
std::string Record(int address, int type, const std::vector<int>& data) {
  std::string line = ":";
  int sum = static_cast<int>(data.size()) + (address >> 8) + (address & 0xFF) + type;
  AppendHexByte(line, static_cast<int>(data.size()));
  AppendHexByte(line, address >> 8);
  AppendHexByte(line, address & 0xFF);
  AppendHexByte(line, type);
  for (int byte : data) {
    AppendHexByte(line, byte);
    sum += byte;
  }
  AppendHexByte(line, (0x100 - (sum & 0xFF)) & 0xFF);
  return line + "\r\n";
}

// Builds the text of one image; empty with a message on stderr if the shape's
// figures cannot be met.
std::string BuildImage(const ImageShape& shape) {
  Random random(shape.seed);
  const int shortRecords = shape.records - shape.fullRecords;
  const int shortBytes = shape.dataBytes - 16 * shape.fullRecords;
  const int gapBytes = shape.records == 0 ? 0 : shape.highAddress - shape.lowAddress + 1 - shape.dataBytes;
  const int spreadFrom = shape.records > LEADING_FULL_RECORDS ? LEADING_FULL_RECORDS : 1;
  if (shortRecords < 0 || shortBytes < shortRecords || shortBytes > 15 * shortRecords ||
      gapBytes < shape.gaps || (shape.gaps == 0 && gapBytes != 0) ||
      std::max(shortRecords, shape.gaps) > std::max(shape.records - spreadFrom, 0)) {
    std::fprintf(stderr, "image_gen: the figures of %s cannot be met\n", shape.name);
    return {};
  }

  std::vector<int> lengths(shape.records, 16);
  if (shortRecords > 0) {
    const std::vector<int> shortLengths = SplitEvenlyWithJitter(shortBytes, shortRecords, 1, 15, random);
    const std::vector<int> at = SpreadIndices(spreadFrom, shape.records, shortRecords, random);
    for (int k = 0; k < shortRecords; ++k) lengths[at[k]] = shortLengths[k];
  }
  std::vector<int> gapBefore(shape.records, 0);
  if (shape.gaps > 0) {
    const std::vector<int> gapSizes = SplitEvenlyWithJitter(gapBytes, shape.gaps, 1, gapBytes, random);
    const std::vector<int> at = SpreadIndices(spreadFrom, shape.records, shape.gaps, random);
    for (int k = 0; k < shape.gaps; ++k) gapBefore[at[k]] = gapSizes[k];
  }

  std::string text;
  int address = shape.lowAddress;
  for (int i = 0; i < shape.records; ++i) {
    address += gapBefore[i];
    std::vector<int> data(lengths[i]);
    for (int& byte : data) byte = static_cast<int>(random.Next() >> 24);
    text += Record(address, 0x00, data);
    address += lengths[i];
  }
  if (shape.records > 0 && address - 1 != shape.highAddress) {
    std::fprintf(stderr, "image_gen: %s ends at %04X instead of %04X\n", shape.name, address - 1, shape.highAddress);
    return {};
  }
  return text + Record(0, 0x01, {});
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_DIRECTORY\n", argv[0]);
    return 2;
  }
  for (const ImageShape& shape : SHAPES) {
    const std::string text = BuildImage(shape);
    if (text.empty()) return 1;
    const std::string path = std::string(argv[1]) + "/" + shape.name + ".hex";
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    if (!out) {
      std::fprintf(stderr, "image_gen: cannot write %s\n", path.c_str());
      return 1;
    }
  }
  return 0;
}
