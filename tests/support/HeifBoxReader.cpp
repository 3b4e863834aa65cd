#include "HeifBoxReader.h"

#include <fstream>
#include <iterator>

namespace testing_support {
namespace {

struct Cursor {
  const uint8_t* p;
  const uint8_t* end;

  void Need(size_t n) const {
    if (static_cast<size_t>(end - p) < n) throw std::runtime_error("box truncated");
  }
  uint64_t Uint(int bytes) {
    Need(static_cast<size_t>(bytes));
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) v = v << 8 | *p++;
    return v;
  }
  std::string FourCC() {
    Need(4);
    std::string s(reinterpret_cast<const char*>(p), 4);
    p += 4;
    return s;
  }
  std::string CString() {
    std::string s;
    while (true) {
      Need(1);
      const char c = static_cast<char>(*p++);
      if (!c) return s;
      s.push_back(c);
    }
  }
};

struct Box {
  std::string type;
  Cursor body;
};

std::vector<Box> Children(Cursor c) {
  std::vector<Box> boxes;
  while (c.p < c.end) {
    const uint8_t* start = c.p;
    uint64_t size = c.Uint(4);
    const std::string type = c.FourCC();
    if (size == 1) size = c.Uint(8);
    else if (size == 0) size = static_cast<uint64_t>(c.end - start);
    const uint64_t header = static_cast<uint64_t>(c.p - start);
    if (size < header || size > static_cast<uint64_t>(c.end - start)) throw std::runtime_error("bad size of box " + type);
    boxes.push_back({type, Cursor{c.p, start + size}});
    c.p = start + size;
  }
  return boxes;
}

const Box* Find(const std::vector<Box>& boxes, const std::string& type) {
  for (const Box& b : boxes)
    if (b.type == type) return &b;
  return nullptr;
}

}  // namespace

HeifFileView ReadHeif(const std::vector<uint8_t>& file) {
  HeifFileView view;
  const std::vector<Box> top = Children(Cursor{file.data(), file.data() + file.size()});

  const Box* ftyp = Find(top, "ftyp");
  if (!ftyp) throw std::runtime_error("no ftyp");
  Cursor f = ftyp->body;
  view.majorBrand = f.FourCC();
  f.Uint(4);  // minor_version
  while (f.p < f.end) view.compatibleBrands.push_back(f.FourCC());

  const Box* meta = Find(top, "meta");
  if (!meta) throw std::runtime_error("no meta");
  Cursor m = meta->body;
  m.Uint(4);  // version, flags
  const std::vector<Box> metaBoxes = Children(m);

  if (const Box* pitm = Find(metaBoxes, "pitm")) {
    Cursor c = pitm->body;
    const auto version = c.Uint(1);
    c.Uint(3);
    view.primaryItem = static_cast<uint32_t>(c.Uint(version == 0 ? 2 : 4));
  }

  if (const Box* iinf = Find(metaBoxes, "iinf")) {
    Cursor c = iinf->body;
    const auto version = c.Uint(1);
    c.Uint(3);
    c.Uint(version == 0 ? 2 : 4);  // entry_count
    for (const Box& infe : Children(c)) {
      if (infe.type != "infe") continue;
      Cursor e = infe.body;
      const auto v = e.Uint(1);
      e.Uint(3);
      if (v < 2) throw std::runtime_error("infe version below 2");
      HeifItem item;
      item.id = static_cast<uint32_t>(e.Uint(v == 2 ? 2 : 4));
      e.Uint(2);  // item_protection_index
      item.type = e.FourCC();
      view.items[item.id] = item;
    }
  }

  const Box* idat = Find(metaBoxes, "idat");
  if (const Box* iloc = Find(metaBoxes, "iloc")) {
    Cursor c = iloc->body;
    const auto version = c.Uint(1);
    c.Uint(3);
    const auto sizes = c.Uint(2);
    const int offsetSize = static_cast<int>(sizes >> 12 & 15), lengthSize = static_cast<int>(sizes >> 8 & 15);
    const int baseOffsetSize = static_cast<int>(sizes >> 4 & 15);
    const int indexSize = version >= 1 ? static_cast<int>(sizes & 15) : 0;
    const auto count = c.Uint(version < 2 ? 2 : 4);
    for (uint64_t i = 0; i < count; ++i) {
      const auto id = static_cast<uint32_t>(c.Uint(version < 2 ? 2 : 4));
      const auto method = version >= 1 ? c.Uint(2) & 15 : 0;
      c.Uint(2);  // data_reference_index
      const auto base = c.Uint(baseOffsetSize);
      const auto extents = c.Uint(2);
      std::vector<uint8_t> data;
      for (uint64_t k = 0; k < extents; ++k) {
        if (indexSize) c.Uint(indexSize);
        const auto offset = base + c.Uint(offsetSize);
        const auto length = c.Uint(lengthSize);
        const uint8_t* from;
        size_t available;
        if (method == 0) {
          from = file.data();
          available = file.size();
        } else if (method == 1 && idat) {
          from = idat->body.p;
          available = static_cast<size_t>(idat->body.end - idat->body.p);
        } else {
          throw std::runtime_error("unsupported iloc construction method");
        }
        if (offset > available || length > available - offset) throw std::runtime_error("iloc extent outside the file");
        data.insert(data.end(), from + offset, from + offset + length);
      }
      view.items[id].data = std::move(data);
    }
  }

  if (const Box* iref = Find(metaBoxes, "iref")) {
    Cursor c = iref->body;
    const auto version = c.Uint(1);
    c.Uint(3);
    const int idSize = version == 0 ? 2 : 4;
    for (const Box& ref : Children(c)) {
      Cursor r = ref.body;
      HeifReference reference{ref.type, static_cast<uint32_t>(r.Uint(idSize)), {}};
      const auto n = r.Uint(2);
      for (uint64_t k = 0; k < n; ++k) reference.to.push_back(static_cast<uint32_t>(r.Uint(idSize)));
      view.references.push_back(reference);
    }
  }

  if (const Box* iprp = Find(metaBoxes, "iprp")) {
    const std::vector<Box> iprpBoxes = Children(iprp->body);
    const Box* ipco = Find(iprpBoxes, "ipco");
    const std::vector<Box> properties = ipco ? Children(ipco->body) : std::vector<Box>{};
    for (const Box& ipma : iprpBoxes) {
      if (ipma.type != "ipma") continue;
      Cursor c = ipma.body;
      const auto version = c.Uint(1);
      const auto flags = c.Uint(3);
      const auto entries = c.Uint(4);
      for (uint64_t i = 0; i < entries; ++i) {
        const auto id = static_cast<uint32_t>(c.Uint(version < 1 ? 2 : 4));
        const auto n = c.Uint(1);
        HeifItem& item = view.items[id];
        for (uint64_t k = 0; k < n; ++k) {
          const auto index = (flags & 1) ? c.Uint(2) & 0x7fff : c.Uint(1) & 0x7f;
          if (index == 0) continue;
          if (index > properties.size()) throw std::runtime_error("ipma index outside ipco");
          const Box& property = properties[index - 1];
          item.properties.push_back(property.type);
          if (property.type == "ispe") {
            Cursor s = property.body;
            s.Uint(4);
            const auto w = static_cast<uint32_t>(s.Uint(4));
            item.ispe = std::make_pair(w, static_cast<uint32_t>(s.Uint(4)));
          } else if (property.type == "hvcC") {
            item.hvcC.assign(property.body.p, property.body.end);
          }
        }
      }
    }
  }
  return view;
}

std::vector<std::vector<uint8_t>> HvcCNalUnits(const std::vector<uint8_t>& hvcC) {
  Cursor c{hvcC.data(), hvcC.data() + hvcC.size()};
  c.Need(23);
  c.p += 22;
  const auto arrays = c.Uint(1);
  std::vector<std::vector<uint8_t>> units;
  for (uint64_t a = 0; a < arrays; ++a) {
    c.Uint(1);  // array_completeness, reserved, NAL_unit_type
    const auto count = c.Uint(2);
    for (uint64_t k = 0; k < count; ++k) {
      const auto length = c.Uint(2);
      c.Need(length);
      units.emplace_back(c.p, c.p + length);
      c.p += length;
    }
  }
  return units;
}

std::vector<uint8_t> ItemAsAnnexB(const HeifItem& item) {
  if (item.hvcC.size() < 23) throw std::runtime_error("item has no hvcC");
  const int lengthSize = (item.hvcC[21] & 3) + 1;
  std::vector<uint8_t> out;
  auto append = [&](const uint8_t* p, size_t n) {
    out.insert(out.end(), {0, 0, 0, 1});
    out.insert(out.end(), p, p + n);
  };
  for (const auto& unit : HvcCNalUnits(item.hvcC)) append(unit.data(), unit.size());
  Cursor c{item.data.data(), item.data.data() + item.data.size()};
  while (c.p < c.end) {
    const auto length = c.Uint(lengthSize);
    c.Need(length);
    append(c.p, length);
    c.p += length;
  }
  return out;
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + path);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace testing_support
