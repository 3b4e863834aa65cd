#include "Writers.h"

#include <stdexcept>
#include <vector>

#include <nlohmann/json.hpp>

namespace inspect {

namespace {

// Written out once this much has gathered.
constexpr size_t kFlushBytes = 1 << 20;

class Output {
 public:
  explicit Output(std::FILE* out) : out_(out) { buffer_.reserve(2 * kFlushBytes); }
  std::string& Buffer() { return buffer_; }
  void MaybeFlush() {
    if (buffer_.size() >= kFlushBytes) Flush();
  }
  void Flush() {
    if (!buffer_.empty() && std::fwrite(buffer_.data(), 1, buffer_.size(), out_) != buffer_.size()) {
      throw std::runtime_error("cannot write the listing");
    }
    buffer_.clear();
    if (std::fflush(out_) != 0) throw std::runtime_error("cannot write the listing");
  }

 private:
  std::FILE* out_;
  std::string buffer_;
};

void AppendIndices(std::string& text, std::span<const uint32_t> indices) {
  for (uint32_t i : indices) {
    text += '[';
    text += std::to_string(i);
    text += ']';
  }
}

// One line per element, "name[i] = value", indented by nesting.
class TextWriter : public Writer, private cp::SyntaxListing {
 public:
  explicit TextWriter(std::FILE* out) : out_(out) {}

  void Begin(const std::string& input, Codec codec) override {
    out_.Buffer() += input + " (" + CodecName(codec) + ")\n";
  }
  void BeginUnit(const UnitPlace& place, uint64_t size, uint32_t type, const std::string& typeName) override {
    std::string& text = out_.Buffer();
    text += "NAL unit " + std::to_string(place.index);
    if (place.packet) text += *place.packet < 0 ? ", configuration" : ", packet " + std::to_string(*place.packet);
    text += ", offset " + std::to_string(place.offset) + ", " + std::to_string(size) + " bytes: ";
    text += typeName.empty() ? "nal_unit_type " + std::to_string(type) : typeName + " (" + std::to_string(type) + ")";
    text += '\n';
    depth_ = 1;
  }
  cp::SyntaxListing& Fields() override { return *this; }
  void Error(std::string_view message) override {
    Indent();
    out_.Buffer().append("error: ").append(message) += '\n';
  }
  void EndUnit() override { out_.MaybeFlush(); }
  void End() override { out_.Flush(); }

 private:
  void Indent() { out_.Buffer().append(2 * depth_, ' '); }
  void OnElement(std::string_view name, std::span<const uint32_t> indices, int64_t value) override {
    Indent();
    std::string& text = out_.Buffer();
    text += name;
    AppendIndices(text, indices);
    text += " = ";
    text += std::to_string(value);
    text += '\n';
  }
  void OnBeginRecord(std::string_view name, std::span<const uint32_t> indices) override {
    Indent();
    std::string& text = out_.Buffer();
    text += name;
    AppendIndices(text, indices);
    text += '\n';
    ++depth_;
  }
  void OnEndRecord() override { --depth_; }

  Output out_;
  size_t depth_ = 1;
};

// {"input": ..., "codec": ..., "nal_units": [...]}: the head and each unit are written as they
// come. A unit's fields keep their bitstream order; an array entry the syntax did not code (the
// sub-layers below the highest one, say) is null.
class JsonWriter : public Writer, private cp::SyntaxListing {
 public:
  using Json = nlohmann::ordered_json;

  explicit JsonWriter(std::FILE* out) : out_(out) {}

  void Begin(const std::string& input, Codec codec) override {
    out_.Buffer() += "{\"input\": " + Json(input).dump(-1, ' ', false, Json::error_handler_t::replace) + ", \"codec\": \"" + CodecName(codec) + "\", \"nal_units\": [";
  }
  void BeginUnit(const UnitPlace& place, uint64_t size, uint32_t type, const std::string& typeName) override {
    unit_ = Json::object();
    unit_["index"] = place.index;
    if (place.packet) unit_["packet"] = *place.packet;
    unit_["offset"] = place.offset;
    unit_["size"] = size;
    unit_["nal_unit_type"] = type;
    if (!typeName.empty()) unit_["type_name"] = typeName;
    open_.clear();
  }
  cp::SyntaxListing& Fields() override { return *this; }
  void Error(std::string_view message) override {
    unit_.erase("fields");
    unit_["error"] = message;
  }
  void EndUnit() override {
    std::string& text = out_.Buffer();
    text += first_ ? "\n" : ",\n";
    first_ = false;
    text += unit_.dump();
    out_.MaybeFlush();
  }
  void End() override {
    out_.Buffer() += first_ ? "]}\n" : "\n]}\n";
    out_.Flush();
  }

 private:
  // The value at name[indices] in the open record, made (with nulls before it) where missing. A
  // unit without a decoded record has no "fields".
  Json& At(std::string_view name, std::span<const uint32_t> indices) {
    if (open_.empty()) open_.push_back(&(unit_["fields"] = Json::object()));
    Json* node = &(*open_.back())[std::string(name)];
    for (uint32_t i : indices) node = &(*node)[i];
    return *node;
  }
  void OnElement(std::string_view name, std::span<const uint32_t> indices, int64_t value) override {
    At(name, indices) = value;
  }
  // Only the innermost open record grows while it is open, so the pointers to the outer ones
  // stay valid.
  void OnBeginRecord(std::string_view name, std::span<const uint32_t> indices) override {
    Json& record = At(name, indices);
    record = Json::object();
    open_.push_back(&record);
  }
  void OnEndRecord() override { open_.pop_back(); }

  Output out_;
  bool first_ = true;
  Json unit_;
  std::vector<Json*> open_;
};

}  // namespace

std::unique_ptr<Writer> MakeTextWriter(std::FILE* out) { return std::make_unique<TextWriter>(out); }
std::unique_ptr<Writer> MakeJsonWriter(std::FILE* out) { return std::make_unique<JsonWriter>(out); }

}  // namespace inspect
