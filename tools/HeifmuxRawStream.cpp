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
#include <libavutil/mathematics.h>
}

#include "AnnexBAccessUnits.h"
#include "HeifmuxImages.h"
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

 private:
  const uint8_t* data_ = nullptr;
  uint64_t size_ = 0;
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

// A random-access picture that may be the one wanted; its time is known once the leading pictures
// after it, which are output before it, have been counted.
struct Candidate {
  uint64_t index;
  uint64_t offset;
  uint64_t picturesBefore;
  uint64_t leading;
  std::shared_ptr<cp::H26xParser> picture;
  Orvane::BlobPtr configuration;
  PictureClock clock;
  int64_t TimeUs() const { return clock.TimeUs(picturesBefore + leading); }
};

}  // namespace

std::vector<Image> ReadRawStream(const std::string& path, const PictureChoice& choice) {
  const std::string origin = path + " stream #0";
  const MappedFile file(path);
  AccessUnits units(file.data(), file.size());
  const auto framing = std::make_shared<cp::HEVCParser>(true);  // holds no configuration: Annex B packets
  InBandParameterSets parameterSets;
  RandomAccessCounter counter(choice);
  std::optional<Candidate> candidate;
  Orvane::BlobPtr configuration;
  PictureClock clock;
  bool changed = false;
  uint64_t pictures = 0;
  bool chosen = false;
  try {
    AccessUnits::Unit unit{};
    for (uint64_t index = 0; !chosen && units.Next(unit); ++index) {
      const auto bytes = Orvane::Proc::BlobFF::Create(nullptr, unit.begin, static_cast<size_t>(unit.end - unit.begin));
      auto picture = framing->ParsePacket(bytes);
      const uint32_t flags = picture->GetPictureFlags();
      if (candidate && (flags & cp::PICTURE_LEADING)) {
        ++candidate->leading;
      } else if (candidate) {
        if ((chosen = counter.IsWanted(candidate->TimeUs()))) break;
        candidate.reset();
      }
      changed = parameterSets.Add(*picture) || changed;
      if (flags & cp::PICTURE_RANDOM_ACCESS) {
        if (changed) {
          configuration = parameterSets.Configuration();
          clock = ClockOf(configuration);
          changed = false;
        }
        candidate = Candidate{index, static_cast<uint64_t>(unit.begin - file.data()), pictures, 0, std::move(picture),
                              configuration, clock};
      }
      if (unit.hasPicture) ++pictures;
    }
    if (!chosen && candidate) chosen = counter.IsWanted(candidate->TimeUs());
    if (pictures == 0) throw std::runtime_error(path + ": no HEVC video stream");
    if (!chosen) throw std::runtime_error(counter.Refusal(origin, clock.TimeUs(pictures)));
    if (choice.verbose) SayTaken(origin, candidate->index, static_cast<int64_t>(candidate->offset),
                                 candidate->TimeUs(), *candidate->picture);
    std::vector<Image> images;
    images.push_back(MakeImage(origin, candidate->configuration, *candidate->picture, nullptr));
    return images;
  } catch (const boost::exception& e) {
    throw std::runtime_error(origin + ": " + Describe(e));
  }
}

}  // namespace heifmux
