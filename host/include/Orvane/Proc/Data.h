#pragma once
// Data that flows between framework components, and the FFmpeg-backed blobs and packets.
#include <cstdint>

#include "Orvane/Blob.h"
#include "Orvane/Export.h"

struct AVBufferRef;
struct AVPacket;

namespace Orvane::Proc {

class ORVANE_API IData : public IRefCountable {};

class ORVANE_API IDataPacket : public IData {
 public:
  // The coded bytes; null for a packet without payload.
  virtual BlobPtr GetBlob() const = 0;
  virtual bool IsKeyFrame() const = 0;
  virtual const AVPacket* GetAVPacket() const = 0;
  virtual int32_t GetMediaType() const = 0;
  virtual int64_t GetPts() const = 0;
  virtual int64_t GetDts() const = 0;
  virtual int64_t GetDuration() const = 0;
};

// A blob over a reference to an FFmpeg buffer.
class ORVANE_API BlobFF : public IBlob {
 public:
  // A new blob owning a copy of the bytes.
  static boost::intrusive_ptr<BlobFF> Create(const uint8_t* data, size_t size);
  // A new blob of `size` bytes for the caller to fill through GetWritableData before sharing it.
  static boost::intrusive_ptr<BlobFF> Create(size_t size);
  // A new blob that shares the bytes of a buffer reference (takes a reference of its own).
  static boost::intrusive_ptr<BlobFF> Create(const AVBufferRef* buffer, const uint8_t* data, size_t size);

  const uint8_t* GetData() const override { return data_; }
  uint8_t* GetWritableData() { return const_cast<uint8_t*>(data_); }
  size_t GetSize() const override { return size_; }
  ORVANE_IMPLEMENT_REFCOUNT

 private:
  BlobFF(AVBufferRef* buffer, const uint8_t* data, size_t size)
      : buffer_(buffer), data_(data), size_(size) {}
  ~BlobFF() override;
  RefCountImpl refCount_;
  AVBufferRef* buffer_;
  const uint8_t* data_;
  size_t size_;
};

// A packet that owns an AVPacket.
class ORVANE_API DataPacketFF : public IDataPacket {
 public:
  // Takes ownership of the packet.
  static boost::intrusive_ptr<DataPacketFF> Create(AVPacket* packet, int32_t mediaType, int64_t pts,
                                                   int64_t dts, int64_t duration);

  BlobPtr GetBlob() const override;
  bool IsKeyFrame() const override;
  const AVPacket* GetAVPacket() const override { return packet_; }
  int32_t GetMediaType() const override { return mediaType_; }
  int64_t GetPts() const override { return pts_; }
  int64_t GetDts() const override { return dts_; }
  int64_t GetDuration() const override { return duration_; }
  ORVANE_IMPLEMENT_REFCOUNT

 private:
  DataPacketFF(AVPacket* packet, int32_t mediaType, int64_t pts, int64_t dts, int64_t duration)
      : packet_(packet), mediaType_(mediaType), pts_(pts), dts_(dts), duration_(duration) {}
  ~DataPacketFF() override;

  // The packet's bytes as a blob that lives inside the packet: its references are the packet's,
  // so handing it out allocates nothing.
  class Payload : public IBlob {
   public:
    explicit Payload(DataPacketFF& packet) : packet_(packet) {}
    const uint8_t* GetData() const override;
    size_t GetSize() const override;
    uint32_t AddRef() override { return packet_.AddRef(); }
    uint32_t GetRefCount() const override { return packet_.GetRefCount(); }
    uint32_t Release() override { return packet_.Release(); }

   private:
    DataPacketFF& packet_;
  };

  RefCountImpl refCount_;
  AVPacket* packet_;
  int32_t mediaType_;
  int64_t pts_, dts_, duration_;
  mutable Payload payload_{*this};
};

// A new AVPacket whose data holds size bytes (uninitialised); the caller owns it.
ORVANE_API AVPacket* CreatePacket(size_t size);

}  // namespace Orvane::Proc
