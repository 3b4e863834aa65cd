// Raw Annex B streams, read in place: the file is mapped, cut into NAL units with the codec
// parsers' scan a window at a time and grouped into access units, and only the chosen access unit
// is copied, into the packet handed to the muxer.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

extern "C" {
#include <libavcodec/packet.h>
#include <libavutil/mathematics.h>
}

#include "AnnexBAccessUnits.h"
#include "Images.h"
#include "Orvane/Proc/CodecParsers/HEVCCodecParams.h"

namespace heifmux {
namespace {

// The input mapped read-only.
class MappedFile {
 public:
  explicit MappedFile(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw std::runtime_error("cannot read " + path + ": " + std::strerror(errno));
    struct stat st {};
    if (fstat(fd, &st) == 0) size_ = static_cast<uint64_t>(st.st_size);
    void* mapped = size_ ? mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, fd, 0) : nullptr;
    const int error = errno;
    close(fd);
    if (mapped == MAP_FAILED) throw std::runtime_error("cannot read " + path + ": " + std::strerror(error));
    data_ = static_cast<const uint8_t*>(mapped);
    if (data_) madvise(mapped, size_, MADV_SEQUENTIAL);
  }
  ~MappedFile() {
    if (data_) munmap(const_cast<uint8_t*>(data_), size_);
  }
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;
  const uint8_t* data() const { return data_; }
  uint64_t size() const { return size_; }

  // Lets go of the pages before `upTo`, which the reader is done with, so that reading a long file
  // does not make it all resident in this process; they are read again from the file if touched.
  void Release(const uint8_t* upTo) {
    constexpr uint64_t kStep = 16 << 20;
    const auto page = static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
    const uint64_t end = static_cast<uint64_t>(upTo - data_) / page * page;
    if (end < released_ + kStep) return;
    madvise(const_cast<uint8_t*>(data_) + released_, end - released_, MADV_DONTNEED);
    released_ = end;
  }

 private:
  const uint8_t* data_ = nullptr;
  uint64_t size_ = 0;
  uint64_t released_ = 0;
};

// Presentation times of a raw stream, which carries none: pictures in output order, each lasting
// num_units_in_tick / time_scale of the VPS timing or else of the SPS VUI (the order FFmpeg reads
// them in), or 1/25 s where neither says, as FFmpeg assumes for raw streams.
struct PictureClock {
  int64_t num = 1, den = 25;
  int64_t TimeUs(uint64_t pictures) const {
    return av_rescale(static_cast<int64_t>(pictures), num * 1000000, den);
  }
};

PictureClock ClockOf(const Orvane::BlobPtr& configuration) {
  PictureClock clock;
  if (!configuration) return clock;
  const auto ps = cp::HEVCParser::CreateFromCodecConfiguration(configuration)->GetParameterSets();
  if (!ps->vps_list.empty() && ps->vps_list.front()->vps_timing_info_present_flag &&
      ps->vps_list.front()->vps_num_units_in_tick && ps->vps_list.front()->vps_time_scale) {
    clock = {ps->vps_list.front()->vps_num_units_in_tick, ps->vps_list.front()->vps_time_scale};
  } else if (!ps->sps_list.empty() && ps->sps_list.front()->vui_parameters_present_flag) {
    const cp::HEVC_VUI& vui = ps->sps_list.front()->vui;
    if (vui.vui_timing_info_present_flag && vui.vui_num_units_in_tick && vui.vui_time_scale)
      clock = {vui.vui_num_units_in_tick, vui.vui_time_scale};
  }
  return clock;
}

// The picture flags of an access unit, from the codec parsers. They follow from the NAL unit
// headers alone, so the parser is given the headers, each behind a 2-byte length, rather than the
// whole unit, which the scan has just read once already.
class PictureFlagsOfHeaders {
 public:
  uint32_t operator()(const std::vector<cp::NALU>& nalus) {
    headers_.clear();
    for (const cp::NALU& nalu : nalus) {
      const auto size = static_cast<uint8_t>(std::min<uint64_t>(nalu.size, 2));
      headers_.insert(headers_.end(), {0, size});
      headers_.insert(headers_.end(), nalu.data, nalu.data + size);
    }
    parser_->ParsePacketData(Orvane::Proc::BlobFF::Create(nullptr, headers_.data(), headers_.size()), 2u);
    return parser_->GetPictureFlags();
  }

 private:
  std::vector<uint8_t> headers_;
  const std::shared_ptr<cp::HEVCParser> parser_ = std::make_shared<cp::HEVCParser>(false);
};

// A random-access picture that may be the one wanted; its time is known once the leading pictures
// after it, which are output before it, have been counted.
struct Candidate {
  uint64_t index;
  const uint8_t* begin;
  const uint8_t* end;
  uint64_t picturesBefore;
  uint64_t leading;
  Orvane::BlobPtr configuration;
  PictureClock clock;
  int64_t TimeUs() const { return clock.TimeUs(picturesBefore + leading); }
};

}  // namespace

std::vector<Image> ReadRawStream(const std::string& path, const PictureChoice& choice) {
  const std::string origin = path + " stream #0";
  MappedFile file(path);
  AccessUnits units(file.data(), file.size());
  PictureFlagsOfHeaders pictureFlags;
  ParameterSetsInForce parameterSets;
  RandomAccessCounter counter(choice);
  std::optional<Candidate> candidate;
  Orvane::BlobPtr configuration;
  PictureClock clock;
  bool changed = false;
  uint64_t pictures = 0;
  bool chosen = false;
  try {
    AccessUnits::Unit unit;
    for (uint64_t index = 0; !chosen && units.Next(unit); ++index) {
      const uint32_t flags = pictureFlags(unit.nalus);
      if (candidate && (flags & cp::PICTURE_LEADING)) {
        ++candidate->leading;
      } else if (candidate) {
        if ((chosen = counter.IsWanted(candidate->TimeUs()))) break;
        candidate.reset();
      }
      changed = parameterSets.Add(unit.nalus) || changed;
      if (flags & cp::PICTURE_RANDOM_ACCESS) {
        if (changed) {
          configuration = parameterSets.Configuration();
          clock = ClockOf(configuration);
          changed = false;
        }
        candidate = Candidate{index, unit.begin, unit.end, pictures, 0, configuration, clock};
      }
      if (unit.hasPicture) ++pictures;
      file.Release(candidate ? candidate->begin : unit.begin);
    }
    // Chosen at the end of the file, the access unit may be the last, where a recording stopped.
    const bool last = !chosen && candidate && candidate->leading == 0;
    if (!chosen && candidate) chosen = counter.IsWanted(candidate->TimeUs());
    if (pictures == 0) throw std::runtime_error(path + ": no HEVC video stream");
    if (!chosen) throw std::runtime_error(counter.Refusal(origin, clock.TimeUs(pictures)));

    // The chosen unit, parsed in full: its NAL units go into the image.
    const auto framing = std::make_shared<cp::HEVCParser>(true);  // holds no configuration: Annex B packets
    const auto picture = framing->ParsePacket(Orvane::Proc::BlobFF::Create(
        nullptr, candidate->begin, static_cast<size_t>(candidate->end - candidate->begin)));
    const std::string name = PacketName(candidate->index, candidate->begin - file.data(), candidate->TimeUs());
    if (choice.verbose) SayTaken(origin, name, *picture);
    // A packet over the mapped bytes, which outlive it: the conversion copies what it keeps.
    if (candidate->end - candidate->begin > INT32_MAX) throw std::runtime_error(origin + ": picture of over 2 GB");
    AVPacket* packet = av_packet_alloc();
    if (!packet) throw std::bad_alloc();
    packet->data = const_cast<uint8_t*>(candidate->begin);
    packet->size = static_cast<int>(candidate->end - candidate->begin);
    packet->flags = AV_PKT_FLAG_KEY;
    std::vector<Image> images;
    images.push_back(MakeImage(origin, name, candidate->configuration, framing,
                               Orvane::Proc::DataPacketFF::Create(packet, 1, packet->pts, packet->dts, packet->duration),
                               last));
    return images;
  } catch (const boost::exception& e) {
    throw std::runtime_error(origin + ": " + Describe(e, choice.verbose));
  }
}

}  // namespace heifmux
