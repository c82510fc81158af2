// The media framework on Media Foundation: a source reader opens the movie
// with only its first video stream selected (so nothing is ever heard),
// and each seek reads one decoded sample, converted with the stream's own
// matrix and range into the DIB the grabber delivers. The graph around it
// is the common still graph (playback/StillGraph.h); this file is its
// backend.
//
// Nothing here may hold the UI thread beyond the graph's deadlines, since a
// system media library can hang on a hostile file: the reader is created on
// a thread of its own that is abandoned if it overruns the open deadline,
// and it runs in asynchronous mode, so that a seek's read is waited for in
// slices that the deadline and a close can end.
//
// Which frame a seek delivers: the source reader starts at the key frame at
// or before the position and the first sample it decodes is that key
// frame. (Wine's media source seeks exactly instead and decodes forward to
// the position, which delivers the frame at the position, later.)
//
// Threads: Open runs on the UI thread and waits for its opener thread; the
// source is used by the graph's streaming thread, both in the
// multi-threaded apartment; the reader's callback runs on Media
// Foundation's own threads.

#include <windows.h>

#include <mfapi.h>
#include <mferror.h>
#include <mfidl.h>
#include <mfreadwrite.h>
#include <propvarutil.h>
#include <wrl/client.h>

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "imaging/ToneMap.h"
#include "imaging/YuvToRgb.h"
#include "platform/ByteFile.h"
#include "platform/TextCodec.h"
#include "platform/win32/Win32MediaFoundation.h"
#include "platform/win32/Win32Text.h"
#include "playback/MediaFramework.h"
#include "playback/StillGraph.h"
#include "probe/ContainerProbe.h"

namespace tavelune::platform {

namespace {

using Microsoft::WRL::ComPtr;

constexpr THResult kVfwECannotRender = static_cast<THResult>(0x80040218);
constexpr DWORD kVideoStream = static_cast<DWORD>(MF_SOURCE_READER_FIRST_VIDEO_STREAM);
// Empty or stale reads (stream ticks, format changes, frames from before
// the seek) tolerated before this seek's sample.
constexpr int kMaxReadsPerSeek = 16;
// How far after the last frame delivered a frame still counts as its
// continuation (see TMfSource::IsLeftOver), in 100 ns units: six frames at
// 24 per second.
constexpr LONGLONG kContinuationSpan = kRefTimePerSecond / 4;

// The system's text for a failure code ("" when it has none).
std::string SystemErrorText(HRESULT code) {
  wchar_t* text = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::u16string message;
  for (DWORD i = 0; i < length; ++i) {
    message.push_back(static_cast<char16_t>(text[i]));
  }
  ::LocalFree(text);
  while (!message.empty() && (message.back() == u'\r' || message.back() == u'\n' ||
                              message.back() == u' ' || message.back() == u'.')) {
    message.pop_back();
  }
  return platform::Utf16ToSystem(message);
}

// Throws the failure `code` with the system's text and what was being done.
void ThrowIfFailed(HRESULT code, const char* doing) {
  if (FAILED(code)) {
    const std::string text = SystemErrorText(code);
    throw EDirectShowException(static_cast<THResult>(code),
                               text.empty() ? doing : std::string(doing) + ": " + text);
  }
}

// One read's outcome, as the reader's callback reports it.
struct TReadResult {
  HRESULT Status = E_FAIL;
  DWORD Flags = 0;
  LONGLONG Time = 0;  // 100 ns units
  ComPtr<IMFSample> Sample;
};

// The reader's callback: hands each read's outcome to the thread waiting
// for it. Reads are numbered, so that a read abandoned after its deadline
// and completed late is never taken for a later one.
class TReadCallback final : public IMFSourceReaderCallback {
 public:
  // IUnknown
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) {
      return E_POINTER;
    }
    if (iid == IID_IUnknown || iid == IID_IMFSourceReaderCallback) {
      *object = static_cast<IMFSourceReaderCallback*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++FReferences; }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG left = --FReferences;
    if (left == 0) {
      delete this;
    }
    return left;
  }

  // IMFSourceReaderCallback: Media Foundation's threads.
  STDMETHODIMP OnReadSample(HRESULT status, DWORD /*streamIndex*/, DWORD flags, LONGLONG time,
                            IMFSample* sample) override {
    std::lock_guard lock(FMutex);
    FResult.Status = status;
    FResult.Flags = flags;
    FResult.Time = time;
    FResult.Sample = sample;
    ++FCompleted;
    FChanged.notify_all();
    return S_OK;
  }
  STDMETHODIMP OnFlush(DWORD /*streamIndex*/) override {
    std::lock_guard lock(FMutex);
    FFlushed = true;
    FChanged.notify_all();
    return S_OK;
  }
  STDMETHODIMP OnEvent(DWORD /*streamIndex*/, IMFMediaEvent* /*event*/) override { return S_OK; }

  // The streaming thread, before asking for a read or a flush.
  void ExpectRead() {
    std::lock_guard lock(FMutex);
    ++FRequested;
  }
  // Whether the read asked for last is still out.
  bool ReadPending() {
    std::lock_guard lock(FMutex);
    return FCompleted < FRequested;
  }
  // A read whose request failed: nothing is on its way.
  void CancelExpectedRead() {
    std::lock_guard lock(FMutex);
    --FRequested;
  }
  void ExpectFlush() {
    std::lock_guard lock(FMutex);
    FFlushed = false;
  }
  // Waits for the read asked for last; false when `interruption` ends the
  // wait first (the read then stays pending).
  bool WaitRead(const TInterruption& interruption, TReadResult& result) {
    std::unique_lock lock(FMutex);
    if (!WaitFor(lock, interruption, [this] { return FCompleted >= FRequested; })) {
      return false;
    }
    result = std::move(FResult);
    FResult = {};
    return true;
  }
  // Waits for the flush asked for; a flush cancels every pending read.
  bool WaitFlush(const TInterruption& interruption) {
    std::unique_lock lock(FMutex);
    if (!WaitFor(lock, interruption, [this] { return FFlushed; })) {
      return false;
    }
    FCompleted = FRequested;
    FResult = {};
    return true;
  }

 private:
  ~TReadCallback() = default;

  // Waits in slices, so that a close (which sets the abort) is noticed.
  template <typename Ready>
  bool WaitFor(std::unique_lock<std::mutex>& lock, const TInterruption& interruption, Ready ready) {
    constexpr auto kSlice = std::chrono::milliseconds(50);
    while (!ready()) {
      if (interruption.Interrupted()) {
        return false;
      }
      FChanged.wait_for(lock,
                        std::min<std::chrono::milliseconds>(kSlice, interruption.Remaining()));
    }
    return true;
  }

  std::atomic<ULONG> FReferences{1};
  std::mutex FMutex;
  std::condition_variable FChanged;
  std::uint64_t FRequested = 0;
  std::uint64_t FCompleted = 0;
  bool FFlushed = false;
  TReadResult FResult;
};

// The layout of the decoded samples the reader delivers.
struct TOutputFormat {
  GUID Subtype{};
  int CodedWidth = 0;  // of the buffer's planes
  int CodedHeight = 0;
  int Left = 0;  // the visible area within them
  int Top = 0;
  int Width = 0;
  int Height = 0;
  LONG DefaultStride = 0;  // bytes per luma row; negative: bottom-up RGB
  TYuvMatrix Matrix = TYuvMatrix::BT601;
  bool FullRange = false;
  THdrTransfer Transfer = THdrTransfer::None;
};

// The HDR transfer a media type is tagged with; anything else is SDR.
THdrTransfer TransferOf(IMFMediaType& type) {
  UINT32 transfer = MFVideoTransFunc_Unknown;
  type.GetUINT32(MF_MT_TRANSFER_FUNCTION, &transfer);
  switch (transfer) {
    case MFVideoTransFunc_2084:
      return THdrTransfer::Pq;
    case MFVideoTransFunc_HLG:
      return THdrTransfer::Hlg;
    default:
      return THdrTransfer::None;
  }
}

bool LayoutOf(const GUID& subtype, TYuvLayout& layout) {
  if (subtype == MFVideoFormat_NV12) {
    layout = TYuvLayout::NV12;
  } else if (subtype == MFVideoFormat_I420 || subtype == MFVideoFormat_IYUV) {
    layout = TYuvLayout::I420;
  } else if (subtype == MFVideoFormat_YV12) {
    layout = TYuvLayout::YV12;
  } else if (subtype == MFVideoFormat_YUY2) {
    layout = TYuvLayout::YUY2;
  } else {
    return false;
  }
  return true;
}

TOutputFormat OutputFormatOf(IMFMediaType& type) {
  TOutputFormat format;
  type.GetGUID(MF_MT_SUBTYPE, &format.Subtype);
  UINT32 width = 0;
  UINT32 height = 0;
  MFGetAttributeSize(&type, MF_MT_FRAME_SIZE, &width, &height);
  format.CodedWidth = format.Width = static_cast<int>(std::min<UINT32>(width, kMaxFrameSide + 1));
  format.CodedHeight = format.Height =
      static_cast<int>(std::min<UINT32>(height, kMaxFrameSide + 1));
  // Decoders pad the coded size (1080 lines are coded as 1088); the
  // aperture tells what is picture.
  MFVideoArea area{};
  if (SUCCEEDED(type.GetBlob(MF_MT_MINIMUM_DISPLAY_APERTURE, reinterpret_cast<UINT8*>(&area),
                             sizeof area, nullptr)) ||
      SUCCEEDED(type.GetBlob(MF_MT_GEOMETRIC_APERTURE, reinterpret_cast<UINT8*>(&area), sizeof area,
                             nullptr))) {
    const int left = area.OffsetX.value & ~1;
    const int top = area.OffsetY.value & ~1;
    if (left >= 0 && top >= 0 && area.Area.cx > 0 && area.Area.cy > 0 &&
        left + area.Area.cx <= format.CodedWidth && top + area.Area.cy <= format.CodedHeight) {
      format.Left = left;
      format.Top = top;
      format.Width = area.Area.cx;
      format.Height = area.Area.cy;
    }
  }
  UINT32 stride = 0;
  if (SUCCEEDED(type.GetUINT32(MF_MT_DEFAULT_STRIDE, &stride))) {
    format.DefaultStride = static_cast<LONG>(stride);
  } else {
    MFGetStrideForBitmapInfoHeader(format.Subtype.Data1, width, &format.DefaultStride);
  }
  UINT32 matrix = MFVideoTransferMatrix_Unknown;
  type.GetUINT32(MF_MT_YUV_MATRIX, &matrix);
  switch (matrix) {
    case MFVideoTransferMatrix_BT709:
    case MFVideoTransferMatrix_SMPTE240M:
      format.Matrix = TYuvMatrix::BT709;
      break;
    case MFVideoTransferMatrix_BT601:
      format.Matrix = TYuvMatrix::BT601;
      break;
    case 4:  // BT.2020, 10 and 12 bits
    case 5:
      format.Matrix = TYuvMatrix::BT2020;
      break;
    default:
      format.Matrix = GuessYuvMatrix(format.Height);
  }
  UINT32 range = MFNominalRange_Unknown;
  type.GetUINT32(MF_MT_VIDEO_NOMINAL_RANGE, &range);
  format.FullRange = range == MFNominalRange_0_255;
  format.Transfer = TransferOf(type);
  return format;
}

// A locked sample buffer: its first row and the bytes between rows.
class TLockedBuffer {
 public:
  TLockedBuffer(IMFSample& sample, LONG defaultStride) {
    if (FAILED(sample.ConvertToContiguousBuffer(&FBuffer))) {
      return;
    }
    DWORD length = 0;
    FBuffer->GetCurrentLength(&length);
    FSize = length;
    // A 2D buffer's rows may be padded beyond the contiguous length: take
    // the extent it reports, or else all it holds.
    ComPtr<IMF2DBuffer2> buffer2;
    DWORD extent = 0;
    if (SUCCEEDED(FBuffer.As(&buffer2)) &&
        SUCCEEDED(buffer2->Lock2DSize(MF2DBuffer_LockFlags_Read, &FFirstRow, &FPitch, &FStart,
                                      &extent))) {
      F2D = buffer2;
      FSize = extent;
      return;
    }
    DWORD maximum = 0;
    if (SUCCEEDED(FBuffer.As(&F2D)) && SUCCEEDED(F2D->Lock2D(&FFirstRow, &FPitch))) {
      FBuffer->GetMaxLength(&maximum);
      FSize = std::max<std::size_t>(FSize, maximum);
      return;
    }
    F2D.Reset();
    BYTE* data = nullptr;
    if (SUCCEEDED(FBuffer->Lock(&data, &maximum, &length))) {
      FLocked = true;
      FSize = length;
      FPitch = defaultStride;
      // A bottom-up buffer's first row is its last.
      FFirstRow = defaultStride >= 0 ? data : data + (length + defaultStride);
      FStart = data;
    }
  }
  ~TLockedBuffer() {
    if (F2D) {
      F2D->Unlock2D();
    } else if (FLocked) {
      FBuffer->Unlock();
    }
  }
  TLockedBuffer(const TLockedBuffer&) = delete;
  TLockedBuffer& operator=(const TLockedBuffer&) = delete;

  bool Locked() const { return FFirstRow != nullptr; }
  const BYTE* FirstRow() const { return FFirstRow; }
  LONG Pitch() const { return FPitch; }
  // The whole buffer, for the planes after the first (positive pitch only).
  const BYTE* Start() const { return FStart != nullptr ? FStart : FFirstRow; }
  std::size_t Size() const { return FSize; }

 private:
  ComPtr<IMFMediaBuffer> FBuffer;
  ComPtr<IMF2DBuffer> F2D;
  BYTE* FFirstRow = nullptr;
  BYTE* FStart = nullptr;
  LONG FPitch = 0;
  std::size_t FSize = 0;
  bool FLocked = false;
};

// RGB32 rows (B G R X, top-down when `pitch` is positive) as a DIB.
void Rgb32ToDib(const BYTE* firstRow, LONG pitch, const TOutputFormat& format, int bitCount,
                std::uint8_t* dib) {
  const TDibFormat target{format.Width, format.Height, bitCount};
  const int bytesPerPixel = bitCount / 8;
  for (int y = 0; y < format.Height; ++y) {
    const BYTE* from = firstRow + static_cast<std::ptrdiff_t>(y + format.Top) * pitch +
                       static_cast<std::ptrdiff_t>(format.Left) * 4;
    std::uint8_t* to = dib + static_cast<std::size_t>(format.Height - 1 - y) * target.Stride();
    for (int x = 0; x < format.Width; ++x, from += 4, to += bytesPerPixel) {
      to[0] = from[0];
      to[1] = from[1];
      to[2] = from[2];
      if (bytesPerPixel == 4) {
        to[3] = 255;
      }
    }
  }
}

// A P010 picture of an HDR movie, tone mapped into bottom-up DIB rows.
bool P010ToDib(const TLockedBuffer& buffer, const TOutputFormat& format, int bitCount,
               std::uint8_t* dib) {
  if (buffer.Pitch() <= 0) {
    return false;
  }
  TYuvCoding coding;  // BT.2020's weights unless the movie says otherwise
  if (format.Matrix == TYuvMatrix::BT601) {
    coding.Kr = 0.299, coding.Kb = 0.114;
  } else if (format.Matrix == TYuvMatrix::BT709) {
    coding.Kr = 0.2126, coding.Kb = 0.0722;
  }
  coding.FullRange = format.FullRange;
  const TToneMapper mapper(format.Transfer, kDefaultPeakNits);
  return mapper.MapP010Picture(
      buffer.Start(), buffer.Size(), static_cast<std::size_t>(buffer.Pitch()), format.CodedHeight,
      format.Left, format.Top, format.Width, format.Height, coding, bitCount / 8, dib);
}

bool SampleToStill(IMFSample& sample, const TOutputFormat& format, int bitCount, TStill& still) {
  if (format.Width <= 0 || format.Height <= 0 || format.Width > kMaxFrameSide ||
      format.Height > kMaxFrameSide) {
    return false;
  }
  const TLockedBuffer buffer(sample, format.DefaultStride);
  if (!buffer.Locked()) {
    return false;
  }
  still.Format = {format.Width, format.Height, bitCount};
  still.Image.assign(still.Format.ImageSize(), 0);
  if (format.Subtype == MFVideoFormat_RGB32) {
    const std::size_t rows = static_cast<std::size_t>(format.CodedHeight);
    if (static_cast<std::size_t>(std::abs(buffer.Pitch())) * rows > buffer.Size() ||
        std::abs(buffer.Pitch()) < format.CodedWidth * 4) {
      return false;
    }
    Rgb32ToDib(buffer.FirstRow(), buffer.Pitch(), format, bitCount, still.Image.data());
    return true;
  }
  if (format.Subtype == MFVideoFormat_P010) {
    return format.Transfer != THdrTransfer::None &&
           P010ToDib(buffer, format, bitCount, still.Image.data());
  }
  TYuvLayout layout = TYuvLayout::NV12;
  TYuvPicture picture;
  if (!LayoutOf(format.Subtype, layout) || buffer.Pitch() <= 0 ||
      !DescribePackedYuv(layout, format.CodedWidth, format.CodedHeight, format.CodedHeight,
                         buffer.Pitch(), buffer.Start(), buffer.Size(), picture)) {
    return false;
  }
  // The visible area: whole chroma positions in, so offsets are even.
  const bool packed = layout == TYuvLayout::YUY2;
  picture.Planes[0] += format.Top * picture.Pitches[0] + format.Left * (packed ? 2 : 1);
  for (int plane = 1; plane < 3 && picture.Planes[plane] != nullptr; ++plane) {
    const int bytesPerChroma = layout == TYuvLayout::NV12 ? 2 : 1;
    picture.Planes[plane] +=
        (format.Top / 2) * picture.Pitches[plane] + (format.Left / 2) * bytesPerChroma;
  }
  picture.Width = format.Width;
  picture.Height = format.Height;
  YuvToDib(picture, format.Matrix, format.FullRange, bitCount, still.Image.data());
  return true;
}

// Readers being let go by a thread of their own (see ~TMfSource); while
// any is, Media Foundation is not shut down under it.
std::atomic<int> GReadersBeingReleased{0};

// Releases `reader` once its pending read is over, on a thread of its own:
// Wine's media source crashes or hangs when its reader is released with a
// read and a seek under way, and such a read can take seconds, which the
// UI thread closing the movie must not wait for.
void ReleaseWhenIdle(ComPtr<IMFSourceReader> reader, ComPtr<TReadCallback> callback) {
  ++GReadersBeingReleased;
  std::thread([reader = std::move(reader), callback = std::move(callback)]() mutable {
    const HRESULT apartment = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    TInterruption limit;
    limit.Arm(kSeekDeadline);
    TReadResult ignored;
    callback->WaitRead(limit, ignored);
    reader.Reset();
    callback.Reset();
    if (SUCCEEDED(apartment)) {
      ::CoUninitialize();
    }
    --GReadersBeingReleased;
  }).detach();
}

// One opened movie.
class TMfSource final : public IStillSource {
 public:
  TMfSource(ComPtr<IMFSourceReader> reader, ComPtr<TReadCallback> callback, bool hasVideo)
      : FReader(std::move(reader)), FCallback(std::move(callback)), FHasVideo(hasVideo) {
    RefreshFormat();
  }
  ~TMfSource() override {
    if (FCallback->ReadPending()) {
      ReleaseWhenIdle(std::move(FReader), std::move(FCallback));
    }
  }
  TMfSource(const TMfSource&) = delete;
  TMfSource& operator=(const TMfSource&) = delete;

  bool DecodeStill(TRefTime position, int bitCount, const TInterruption& interruption,
                   TStill& still) override {
    if (!FHasVideo || !StartReading(interruption) || !FlushAbandonedRead(interruption)) {
      return false;
    }
    PROPVARIANT where;
    InitPropVariantFromInt64(position, &where);
    const HRESULT sought = FReader->SetCurrentPosition(GUID_NULL, where);
    PropVariantClear(&where);
    if (FAILED(sought)) {
      return false;
    }
    TReadResult last;  // the last frame read
    for (int read = 0; read < kMaxReadsPerSeek; ++read) {
      TReadResult result;
      if (!ReadOnce(interruption, result)) {
        return false;
      }
      if (FAILED(result.Status) ||
          (result.Flags & (MF_SOURCE_READERF_ERROR | MF_SOURCE_READERF_ENDOFSTREAM)) != 0) {
        return false;
      }
      if ((result.Flags & MF_SOURCE_READERF_CURRENTMEDIATYPECHANGED) != 0) {
        RefreshFormat();
      }
      if (result.Sample) {
        const bool leftOver = IsLeftOver(result.Time, position);
        last = std::move(result);
        if (!leftOver) {
          break;
        }
      }
    }
    if (!last.Sample) {
      return false;
    }
    FLastTime = last.Time;
    still.SampleTime = static_cast<double>(last.Time) / kRefTimePerSecond;
    return SampleToStill(*last.Sample.Get(), FFormat, bitCount, still);
  }

 private:
  // Wine's reader starts its source at the beginning on the first read,
  // whatever position was set before it: the first read is made and
  // dropped before any seek.
  bool StartReading(const TInterruption& interruption) {
    if (FStarted) {
      return true;
    }
    TReadResult first;
    FStarted = ReadOnce(interruption, first);
    if (first.Sample) {
      FLastTime = first.Time;
    }
    return FStarted;
  }

  // Whether a frame read after a seek to `position` (both in 100 ns units)
  // is one of the frames that followed the last one delivered rather than
  // the seek's own. Wine's reader hands over the frames its source had
  // already read ahead (up to a few) before those from the new position;
  // they follow the last frame closely, while the seek's frame is at or
  // before the position. A seek to just after the last frame is taken as it
  // comes; should the seek's own frame follow the last one closely too, a
  // later one of its frames is taken, or the last frame read.
  bool IsLeftOver(LONGLONG time, TRefTime position) const {
    return FLastTime >= 0 && time > FLastTime && time <= FLastTime + kContinuationSpan &&
           position > FLastTime + kContinuationSpan;
  }

  // Asks for one read and waits for it; false when the request failed or
  // the wait was ended (the read then stays out until the next flush).
  bool ReadOnce(const TInterruption& interruption, TReadResult& result) {
    FCallback->ExpectRead();
    if (FAILED(FReader->ReadSample(kVideoStream, 0, nullptr, nullptr, nullptr, nullptr))) {
      FCallback->CancelExpectedRead();
      return false;
    }
    return FCallback->WaitRead(interruption, result);
  }

  // A read abandoned at its deadline is still out, and would be taken for
  // this seek's frame: it is flushed first. (An asynchronous reader also
  // refuses to seek while a read is out.)
  bool FlushAbandonedRead(const TInterruption& interruption) {
    if (!FCallback->ReadPending()) {
      return true;
    }
    FCallback->ExpectFlush();
    return SUCCEEDED(FReader->Flush(kVideoStream)) && FCallback->WaitFlush(interruption);
  }

  void RefreshFormat() {
    ComPtr<IMFMediaType> type;
    if (FHasVideo && SUCCEEDED(FReader->GetCurrentMediaType(kVideoStream, &type))) {
      FFormat = OutputFormatOf(*type.Get());
    }
  }

  ComPtr<IMFSourceReader> FReader;
  ComPtr<TReadCallback> FCallback;
  bool FHasVideo;
  bool FStarted = false;    // a first read was made
  LONGLONG FLastTime = -1;  // of the last frame delivered (or the first read), 100 ns units
  TOutputFormat FFormat;
};

// What the opener thread hands over.
struct TOpening {
  std::mutex Mutex;
  std::condition_variable Done;
  bool Finished = false;
  std::unique_ptr<TMfSource> Source;
  TRefTime Duration = 0;
  THResult Result = kSOk;
  std::exception_ptr Failure;
};

// The subtypes asked of the decoder, best first: RGB32 needs no conversion
// of ours, the others are what decoders give. An HDR movie asks for its
// ten bits first, which are tone mapped here; the decoder's own RGB would
// show it as SDR, grey and washed out.
const GUID* const kOutputSubtypes[] = {&MFVideoFormat_RGB32, &MFVideoFormat_NV12,
                                       &MFVideoFormat_YUY2,  &MFVideoFormat_I420,
                                       &MFVideoFormat_IYUV,  &MFVideoFormat_YV12};

bool IsHdrMovie(IMFSourceReader& reader) {
  ComPtr<IMFMediaType> native;
  return SUCCEEDED(reader.GetNativeMediaType(kVideoStream, 0, &native)) &&
         TransferOf(*native.Get()) != THdrTransfer::None;
}

bool ChooseOutput(IMFSourceReader& reader) {
  std::vector<const GUID*> subtypes(std::begin(kOutputSubtypes), std::end(kOutputSubtypes));
  if (IsHdrMovie(reader)) {
    subtypes.insert(subtypes.begin(), &MFVideoFormat_P010);
  }
  for (const GUID* subtype : subtypes) {
    ComPtr<IMFMediaType> type;
    if (FAILED(MFCreateMediaType(&type))) {
      return false;
    }
    type->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
    type->SetGUID(MF_MT_SUBTYPE, *subtype);
    if (SUCCEEDED(reader.SetCurrentMediaType(kVideoStream, nullptr, type.Get()))) {
      return true;
    }
  }
  return false;
}

// The byte stream of the movie, named so that the source resolver picks
// the reader its content needs whatever the file's own extension.
ComPtr<IMFByteStream> OpenByteStream(const std::string& fileName, const std::string& head) {
  ComPtr<IMFByteStream> stream;
  const std::wstring path = WideText(fileName);
  ThrowIfFailed(MFCreateFile(MF_ACCESSMODE_READ, MF_OPENMODE_FAIL_IF_NOT_EXIST, MF_FILEFLAGS_NONE,
                             path.c_str(), &stream),
                "opening the movie");
  const std::string extension = ContainerExtensionOf(head);
  ComPtr<IMFAttributes> attributes;
  if (!extension.empty() && SUCCEEDED(stream.As(&attributes))) {
    attributes->SetString(MF_BYTESTREAM_ORIGIN_NAME, (path + WideText(extension)).c_str());
  }
  return stream;
}

TRefTime DurationOf(IMFSourceReader& reader) {
  PROPVARIANT value;
  PropVariantInit(&value);
  TRefTime duration = 0;
  if (SUCCEEDED(reader.GetPresentationAttribute(static_cast<DWORD>(MF_SOURCE_READER_MEDIASOURCE),
                                                MF_PD_DURATION, &value)) &&
      value.vt == VT_UI8) {
    duration = static_cast<TRefTime>(value.uhVal.QuadPart);
  }
  PropVariantClear(&value);
  return duration;
}

// The opener thread's work: everything that may take Media Foundation long.
void OpenOnThisThread(const std::string& fileName, const std::string& head, TOpening& opening) {
  ComPtr<IMFByteStream> stream = OpenByteStream(fileName, head);
  ComPtr<TReadCallback> callback;
  callback.Attach(new TReadCallback);
  ComPtr<IMFAttributes> attributes;
  ThrowIfFailed(MFCreateAttributes(&attributes, 1), "creating the reader's attributes");
  attributes->SetUnknown(MF_SOURCE_READER_ASYNC_CALLBACK, callback.Get());
  ComPtr<IMFSourceReader> reader;
  ThrowIfFailed(MFCreateSourceReaderFromByteStream(stream.Get(), attributes.Get(), &reader),
                "reading the movie");

  bool hasVideo = false;
  bool hasAudio = false;
  for (DWORD index = 0;; ++index) {
    ComPtr<IMFMediaType> type;
    if (FAILED(reader->GetNativeMediaType(index, 0, &type))) {
      break;
    }
    GUID major{};
    type->GetGUID(MF_MT_MAJOR_TYPE, &major);
    hasAudio = hasAudio || major == MFMediaType_Audio;
    if (major == MFMediaType_Video && !hasVideo) {
      hasVideo = true;
      UINT32 width = 0;
      UINT32 height = 0;
      MFGetAttributeSize(type.Get(), MF_MT_FRAME_SIZE, &width, &height);
      if (width > kMaxFrameSide || height > kMaxFrameSide) {
        throw EDirectShowException(
            kVfwEUnsupportedStream,
            "frame size " + std::to_string(width) + "x" + std::to_string(height) + " is too large");
      }
    }
  }
  opening.Duration = DurationOf(*reader.Get());
  reader->SetStreamSelection(static_cast<DWORD>(MF_SOURCE_READER_ALL_STREAMS), FALSE);
  if (!hasVideo) {
    if (!hasAudio) {
      throw EDirectShowException(kVfwECannotRender, "the file holds no video and no sound");
    }
    opening.Result = kVfwSVideoNotRendered;
  } else {
    reader->SetStreamSelection(kVideoStream, TRUE);
    if (!ChooseOutput(*reader.Get())) {
      if (!hasAudio) {
        throw EDirectShowException(static_cast<THResult>(MF_E_TOPO_CODEC_NOT_FOUND),
                                   "no decoder gives pictures of this movie");
      }
      hasVideo = false;
      opening.Result = kVfwSPartialRender;
    }
  }
  opening.Source = std::make_unique<TMfSource>(std::move(reader), std::move(callback), hasVideo);
}

class TMfBackend final : public IStillBackend {
 public:
  TMfBackend() { FStarted = SUCCEEDED(MFStartup(MF_VERSION, MFSTARTUP_NOSOCKET)); }
  ~TMfBackend() override {
    if (FStarted && GReadersBeingReleased == 0) {
      MFShutdown();
    }
  }
  TMfBackend(const TMfBackend&) = delete;
  TMfBackend& operator=(const TMfBackend&) = delete;

  TOpenedSource Open(const std::string& fileName, const TInterruption& interruption) override {
    if (!FStarted) {
      throw EDirectShowException(kVfwECannotRender, "Media Foundation is not available");
    }
    // Our own open first: it never waits on a pipe or a device, which
    // Media Foundation's would.
    platform::TByteFile file;
    if (!file.Open(fileName, platform::TShareMode::DenyNone)) {
      throw EDirectShowException(static_cast<THResult>(0x80070002), fileName);
    }
    std::string head(16, '\0');
    head.resize(file.Read(head.data(), head.size()));
    file = platform::TByteFile();

    auto opening = std::make_shared<TOpening>();
    std::thread([opening, fileName, head]() mutable {
      const HRESULT apartment = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
      try {
        OpenOnThisThread(fileName, head, *opening);
      } catch (...) {
        opening->Failure = std::current_exception();
      }
      {
        std::lock_guard lock(opening->Mutex);
        opening->Finished = true;
      }
      opening->Done.notify_all();
      // When the UI thread gave up waiting, this is the last reference and
      // the reader is released here, inside this thread's apartment.
      opening.reset();
      if (SUCCEEDED(apartment)) {
        ::CoUninitialize();
      }
    }).detach();

    std::unique_lock lock(opening->Mutex);
    if (!opening->Done.wait_for(lock, interruption.Remaining(),
                                [&] { return opening->Finished; })) {
      throw EDirectShowException(kVfwETimeout, "opening the movie took too long");
    }
    if (opening->Failure) {
      std::rethrow_exception(opening->Failure);
    }
    TOpenedSource opened;
    opened.Source = std::move(opening->Source);
    opened.Duration = opening->Duration;
    opened.Result = opening->Result;
    return opened;
  }

  void StreamingThreadStarts() override {
    FApartment = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  }
  void StreamingThreadEnds() override {
    if (SUCCEEDED(FApartment)) {
      ::CoUninitialize();
    }
  }

 private:
  bool FStarted = false;
  HRESULT FApartment = E_FAIL;  // the streaming thread's
};

}  // namespace

bool MediaReadersBeingReleased() {
  return GReadersBeingReleased != 0;
}

std::unique_ptr<IMediaFramework> CreateMediaFramework() {
  return CreateStillGraph(std::make_unique<TMfBackend>());
}

}  // namespace tavelune::platform
