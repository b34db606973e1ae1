#include "controls/image_loader.h"

#include <algorithm>
#include <cstring>

namespace tarnvel {

namespace {

bool IsPointerReference(const wchar_t* reference) {
    return reinterpret_cast<ULONG_PTR>(reference) >= 0x10000;
}

// A COM stream over a movable copy of an embedded resource; the stream frees the copy.
class ResourceStream {
public:
    ResourceStream(const wchar_t* name, const wchar_t* type) {
        HMODULE module = GetModuleHandleW(nullptr);
        HRSRC info = FindResourceW(module, name, type);
        if (!info)
            return;
        HGLOBAL loaded = LoadResource(module, info);
        const DWORD size = SizeofResource(module, info);
        const void* bytes = loaded ? LockResource(loaded) : nullptr;
        if (!bytes || size == 0)
            return;
        HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
        if (!block)
            return;
        void* target = GlobalLock(block);
        if (!target) {
            GlobalFree(block);
            return;
        }
        std::memcpy(target, bytes, size);
        GlobalUnlock(block);
        if (FAILED(CreateStreamOnHGlobal(block, TRUE, &stream_))) {
            stream_ = nullptr;
            GlobalFree(block);
        }
        // Resources of the executable stay mapped; there is nothing to free for them.
    }
    ~ResourceStream() {
        if (stream_)
            stream_->Release();
    }
    ResourceStream(const ResourceStream&) = delete;
    ResourceStream& operator=(const ResourceStream&) = delete;

    IStream* Get() const { return stream_; }

private:
    IStream* stream_ = nullptr;
};

// A picture from a file (a pointer reference) or a resource of type, or null.
template <class Picture>
std::unique_ptr<Picture> LoadGdiplusPicture(const wchar_t* picture, const wchar_t* type) {
    std::unique_ptr<Picture> result;
    if (IsPointerReference(picture)) {
        result.reset(Picture::FromFile(picture));
    } else {
        ResourceStream stream(picture, type);
        if (!stream.Get())
            return nullptr;
        result.reset(Picture::FromStream(stream.Get()));
    }
    if (!result || result->GetLastStatus() != Gdiplus::Ok)
        return nullptr;
    return result;
}

// The id of the picture drawn at one of kPictureScales.
int PictureIdAt(const ScaledPictureIds& picture, int scalePercent) {
    const auto at = std::find(kPictureScales.begin(), kPictureScales.end(), scalePercent);
    return at == kPictureScales.end() ? picture.front()
                                      : picture[static_cast<std::size_t>(at - kPictureScales.begin())];
}

// The picture at dpi as a GDI+ bitmap: its scale's own, or the next larger one resampled.
std::unique_ptr<Gdiplus::Bitmap> LoadScaledPicture(const ScaledPictureIds& picture, int dpi) {
    const PictureScale scale = PictureScaleForDpi(dpi);
    const wchar_t* const scaledId = MAKEINTRESOURCEW(PictureIdAt(picture, scale.percent));
    std::unique_ptr<Gdiplus::Bitmap> drawn = LoadGdiplusPicture<Gdiplus::Bitmap>(scaledId, kPngResourceType);
    if (!drawn || scale.exact)
        return drawn;
    const std::unique_ptr<Gdiplus::Image> base =
        LoadGdiplusPicture<Gdiplus::Image>(MAKEINTRESOURCEW(picture.front()), kPngResourceType);
    if (!base)
        return nullptr;
    const int width = std::max(1, ScaleForDpi(static_cast<int>(base->GetWidth()), dpi));
    const int height = std::max(1, ScaleForDpi(static_cast<int>(base->GetHeight()), dpi));
    auto resampled = std::make_unique<Gdiplus::Bitmap>(width, height, PixelFormat32bppARGB);
    if (resampled->GetLastStatus() != Gdiplus::Ok)
        return nullptr;
    Gdiplus::Graphics graphics(resampled.get());
    graphics.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);
    graphics.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
    graphics.SetCompositingMode(Gdiplus::CompositingModeSourceCopy);
    // Mirrored edges, so that the filter does not fade the picture's border into transparency.
    Gdiplus::ImageAttributes edges;
    edges.SetWrapMode(Gdiplus::WrapModeTileFlipXY);
    if (graphics.DrawImage(drawn.get(), Gdiplus::Rect(0, 0, width, height), 0, 0,
                           static_cast<INT>(drawn->GetWidth()), static_cast<INT>(drawn->GetHeight()),
                           Gdiplus::UnitPixel, &edges) != Gdiplus::Ok)
        return nullptr;
    return resampled;
}

} // namespace

void EnsureGdiplusStarted() {
    static const bool started = [] {
        Gdiplus::GdiplusStartupInput input; // version 1, no debug callback, own thread, codecs
        ULONG_PTR token = 0;
        return Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok;
    }();
    (void)started;
}

HBITMAP LoadPngBitmap(const wchar_t* picture, const wchar_t* type) {
    EnsureGdiplusStarted();
    std::unique_ptr<Gdiplus::Bitmap> bitmap;
    if (!IsPointerReference(picture) && (type == nullptr || type == RT_BITMAP)) {
        bitmap.reset(Gdiplus::Bitmap::FromResource(GetModuleHandleW(nullptr), picture));
        if (bitmap && bitmap->GetLastStatus() != Gdiplus::Ok)
            bitmap.reset();
    } else {
        bitmap = LoadGdiplusPicture<Gdiplus::Bitmap>(picture, type);
    }
    if (!bitmap)
        return nullptr;
    HBITMAP result = nullptr;
    if (bitmap->GetHBITMAP(Gdiplus::Color(0, 0, 0, 0), &result) != Gdiplus::Ok)
        return nullptr;
    return result;
}

UniqueBitmap LoadPngPictureForDpi(const ScaledPictureIds& picture, int dpi) {
    EnsureGdiplusStarted();
    const std::unique_ptr<Gdiplus::Bitmap> bitmap = LoadScaledPicture(picture, dpi);
    HBITMAP result = nullptr;
    if (!bitmap || bitmap->GetHBITMAP(Gdiplus::Color(0, 0, 0, 0), &result) != Gdiplus::Ok)
        return UniqueBitmap();
    return UniqueBitmap(result);
}

Gdiplus::Image* ImageHolder::LoadForDpi(const ScaledPictureIds& picture, int dpi) {
    if (PictureScaleForDpi(dpi) == PictureScale{})
        return Load(picture.front());
    image_.reset();
    EnsureGdiplusStarted();
    image_ = LoadScaledPicture(picture, dpi);
    return image_.get();
}

Gdiplus::Image* ImageHolder::Load(const wchar_t* picture, const wchar_t* type) {
    image_.reset();
    EnsureGdiplusStarted();
    std::unique_ptr<Gdiplus::Image> image = LoadGdiplusPicture<Gdiplus::Image>(picture, type);
    if (!image)
        return nullptr;
    image_ = std::move(image);
    return image_.get();
}

int ImageHolder::Width() const {
    return image_ ? static_cast<int>(image_->GetWidth()) : 0;
}

int ImageHolder::Height() const {
    return image_ ? static_cast<int>(image_->GetHeight()) : 0;
}

SIZE BitmapSize(HBITMAP bitmap) {
    BITMAP info{};
    if (!bitmap || !GetObjectW(bitmap, sizeof(info), &info))
        return SIZE{0, 0};
    return SIZE{info.bmWidth, info.bmHeight};
}

} // namespace tarnvel
