#include <new>

extern "C" {
#include <libavcodec/packet.h>
#include <libavutil/buffer.h>
}

#include "Orvane/Proc/Data.h"

namespace Orvane::Proc {

boost::intrusive_ptr<BlobFF> BlobFF::Create(const uint8_t* data, size_t size) {
  auto blob = Create(size);
  if (size) std::copy(data, data + size, blob->GetWritableData());
  return blob;
}

boost::intrusive_ptr<BlobFF> BlobFF::Create(size_t size) {
  AVBufferRef* buffer = av_buffer_alloc(size);
  if (!buffer) throw std::bad_alloc();
  return boost::intrusive_ptr<BlobFF>(new BlobFF(buffer, buffer->data, size));
}

boost::intrusive_ptr<BlobFF> BlobFF::Create(const AVBufferRef* buffer, const uint8_t* data, size_t size) {
  AVBufferRef* ref = buffer ? av_buffer_ref(buffer) : nullptr;
  if (buffer && !ref) throw std::bad_alloc();
  return boost::intrusive_ptr<BlobFF>(new BlobFF(ref, data, size));
}

BlobFF::~BlobFF() { av_buffer_unref(&buffer_); }

boost::intrusive_ptr<DataPacketFF> DataPacketFF::Create(AVPacket* packet, int32_t mediaType,
                                                        int64_t pts, int64_t dts, int64_t duration) {
  return boost::intrusive_ptr<DataPacketFF>(new DataPacketFF(packet, mediaType, pts, dts, duration));
}

DataPacketFF::~DataPacketFF() { av_packet_free(&packet_); }

BlobPtr DataPacketFF::GetBlob() const {
  if (!packet_ || !packet_->data) return nullptr;
  return BlobPtr(&payload_);
}

const uint8_t* DataPacketFF::Payload::GetData() const { return packet_.packet_->data; }
size_t DataPacketFF::Payload::GetSize() const { return static_cast<size_t>(packet_.packet_->size); }

bool DataPacketFF::IsKeyFrame() const { return packet_ && (packet_->flags & AV_PKT_FLAG_KEY); }

AVPacket* CreatePacket(size_t size) {
  AVPacket* packet = av_packet_alloc();
  if (!packet || size > static_cast<size_t>(INT32_MAX) || av_new_packet(packet, static_cast<int>(size)) < 0) {
    av_packet_free(&packet);
    throw std::bad_alloc();
  }
  return packet;
}

}  // namespace Orvane::Proc
