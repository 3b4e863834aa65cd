// The check that an image decodes on its own before it is written: FFmpeg's HEVC decoder is given
// what a reader of the file gives a decoder, the hvcC as extradata and the item's data as one packet.
#include <cstring>
#include <exception>
#include <memory>
#include <thread>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
}

#include "Images.h"
#include "Orvane/Proc/CodecParsers/H26xBitstreamParser.h"

namespace heifmux {
namespace {

// Bytes the last slice of a picture the input ends with is given beyond its own: enough for the
// decoder's arithmetic decoding to read several times over.
constexpr int kBytesBeyond = 64;

std::string AvError(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

using PacketPtr = std::unique_ptr<AVPacket, void (*)(AVPacket*)>;

struct Decoded {
  std::unique_ptr<AVFrame, void (*)(AVFrame*)> frame{nullptr, [](AVFrame* f) { av_frame_free(&f); }};
  std::string problem;  // empty when a picture came out clean
};

// Frame buffers whose planes are filled with the byte `opaque` points to before the decoder writes
// into them, so that what no slice wrote shows.
int FilledBuffer(AVCodecContext* context, AVFrame* frame, int flags) {
  const int rc = avcodec_default_get_buffer2(context, frame, flags);
  const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame->format));
  if (rc < 0 || !descriptor) return rc;
  for (int plane = 0; plane < 4 && frame->data[plane]; ++plane) {
    const int lines = plane == 1 || plane == 2 ? AV_CEIL_RSHIFT(frame->height, descriptor->log2_chroma_h) : frame->height;
    std::memset(frame->data[plane], *static_cast<const uint8_t*>(context->opaque),
                static_cast<size_t>(frame->linesize[plane]) * static_cast<size_t>(lines));
  }
  return rc;
}

// One decode of the item alone, into frame buffers filled with `fill`. `threads` 0 lets the
// decoder choose how many.
Decoded Decode(const Orvane::IBlob& hvcc, const AVPacket& item, int threads, uint8_t fill) {
  Decoded out;
  const AVCodec* decoder = avcodec_find_decoder(AV_CODEC_ID_HEVC);
  if (!decoder) {
    out.problem = "FFmpeg has no HEVC decoder";
    return out;
  }
  std::unique_ptr<AVCodecContext, void (*)(AVCodecContext*)> context(avcodec_alloc_context3(decoder),
                                                                      [](AVCodecContext* c) { avcodec_free_context(&c); });
  out.frame.reset(av_frame_alloc());
  if (!context || !out.frame) throw std::bad_alloc();
  context->extradata = static_cast<uint8_t*>(av_mallocz(hvcc.GetSize() + AV_INPUT_BUFFER_PADDING_SIZE));
  if (!context->extradata) throw std::bad_alloc();
  std::memcpy(context->extradata, hvcc.GetData(), hvcc.GetSize());
  context->extradata_size = static_cast<int>(hvcc.GetSize());
  // Every error the decoder can tell is a failure rather than concealed, and a picture hash that
  // the stream carries is checked.
  context->err_recognition = AV_EF_EXPLODE | AV_EF_CRCCHECK | AV_EF_BITSTREAM | AV_EF_BUFFER | AV_EF_CAREFUL;
  context->thread_type = FF_THREAD_SLICE;  // one picture: only its rows or slices can go side by side
  context->thread_count = threads;
  context->opaque = &fill;
  context->get_buffer2 = FilledBuffer;
  int rc = avcodec_open2(context.get(), decoder, nullptr);
  if (rc >= 0) rc = avcodec_send_packet(context.get(), &item);
  if (rc >= 0) rc = avcodec_send_packet(context.get(), nullptr);
  if (rc >= 0) rc = avcodec_receive_frame(context.get(), out.frame.get());
  if (rc == AVERROR_EOF)
    out.problem = "FFmpeg's HEVC decoder gives no picture";
  else if (rc < 0)
    out.problem = "FFmpeg's HEVC decoder: " + AvError(rc);
  else if (out.frame->decode_error_flags || (out.frame->flags & AV_FRAME_FLAG_CORRUPT))
    out.problem = "FFmpeg's HEVC decoder finds the picture damaged";
  return out;
}

bool SamePicture(const AVFrame& a, const AVFrame& b) {
  if (a.width != b.width || a.height != b.height || a.format != b.format) return false;
  const auto format = static_cast<AVPixelFormat>(a.format);
  const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
  int bytes[4] = {};
  if (!descriptor || av_image_fill_linesizes(bytes, format, a.width) < 0) return false;
  for (int plane = 0; plane < 4 && a.data[plane]; ++plane) {
    const int lines = plane == 1 || plane == 2 ? AV_CEIL_RSHIFT(a.height, descriptor->log2_chroma_h) : a.height;
    for (int y = 0; y < lines; ++y)
      if (std::memcmp(a.data[plane] + y * a.linesize[plane], b.data[plane] + y * b.linesize[plane],
                      static_cast<size_t>(bytes[plane])) != 0)
        return false;
  }
  return true;
}

// The item with its last unit, where that is a slice, lengthened by bytes of all ones. A slice
// that ends where it should ends its decoding at its end_of_slice_segment_flag, before them, so the
// picture decodes the same; the decoding of one cut short runs on past its end, where the decoder
// otherwise reads zeros, and reads these instead. The item as it is where the last unit is not a
// slice.
PacketPtr LastSliceLengthened(const AVPacket& item) {
  PacketPtr longer(nullptr, [](AVPacket* p) { av_packet_free(&p); });
  std::vector<cp::NALU> units;
  try {
    cp::FindMP4Nalus(item.data, static_cast<uint64_t>(item.size), units, 4);
  } catch (const boost::exception&) {
    return longer;  // the decoder says what is wrong with it
  }
  longer.reset(av_packet_alloc());
  if (units.empty() || cp::HEVCNaluType(units.back()) >= 32 || item.size > INT32_MAX - kBytesBeyond) {
    if (!longer || av_packet_ref(longer.get(), &item) < 0) throw std::bad_alloc();
    return longer;
  }
  if (!longer || av_new_packet(longer.get(), item.size + kBytesBeyond) < 0) throw std::bad_alloc();
  std::memcpy(longer->data, item.data, static_cast<size_t>(item.size));
  std::memset(longer->data + item.size, 0xff, kBytesBeyond);
  uint8_t* length = longer->data + (units.back().data - item.data) - 4;
  const uint64_t size = units.back().size + kBytesBeyond;
  for (int i = 0; i < 4; ++i) length[i] = static_cast<uint8_t>(size >> (24 - 8 * i));
  return longer;
}

}  // namespace

std::optional<std::string> DecodeProblem(const Image& image) {
  const AVPacket& item = *image.picture->GetAVPacket();
  PacketPtr longer(nullptr, nullptr);
  if (image.lastOfInput) longer = LastSliceLengthened(item);
  Decoded plain, lengthened;
  if (longer) {
    // A picture the input ends with may have lost its end: its last slices, or the end of its last
    // slice. It is decoded twice, side by side, the second time with its last slice lengthened and
    // into buffers filled otherwise: the two pictures differ where a slice read past its end or
    // where no slice reached.
    std::exception_ptr failure;
    std::thread other([&] {
      try {
        lengthened = Decode(*image.hvcc, *longer, 1, 0xff);
      } catch (...) {
        failure = std::current_exception();
      }
    });
    try {
      plain = Decode(*image.hvcc, item, 1, 0);
    } catch (...) {
      other.join();
      throw;
    }
    other.join();
    if (failure) std::rethrow_exception(failure);
  } else {
    plain = Decode(*image.hvcc, item, 0, 0);
  }
  if (!plain.problem.empty()) return plain.problem;
  const uint32_t width = image.codec->GetWidth(), height = image.codec->GetHeight();
  if (static_cast<uint32_t>(plain.frame->width) != width || static_cast<uint32_t>(plain.frame->height) != height)
    return "it decodes to " + std::to_string(plain.frame->width) + "x" + std::to_string(plain.frame->height) +
           ", not to the " + std::to_string(width) + "x" + std::to_string(height) + " of its SPS";
  if (longer && (!lengthened.problem.empty() || !SamePicture(*plain.frame, *lengthened.frame)))
    return "its slices end before the picture does or run on past the end of the input: the picture is cut short";
  return std::nullopt;
}

}  // namespace heifmux
