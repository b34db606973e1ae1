// The two loaders of the embedded pictures: a device bitmap (32 bits with per-pixel alpha, for
// GDI blending) or a GDI+ image kept in an ImageHolder (for the stripe progress bars).
#pragma once

#include "controls/gdi_handles.h"
#include "controls/gdiplus_include.h"
#include "controls/geometry.h"

#include <array>
#include <memory>

namespace tarnvel {

// The resource type of every embedded picture.
inline constexpr wchar_t kPngResourceType[] = L"PNG";

// Starts GDI+ once for the process on first use and never shuts it down, so that pictures and
// images made by the controls stay valid until the process ends, whatever the process start does.
void EnsureGdiplusStarted();

// Decodes a picture into a device bitmap with per-pixel alpha (composited over transparent black);
// the caller owns the handle. picture and type are resource references in the platform's
// integer-or-string form: picture an id below 0x10000 or a file path; type null or RT_BITMAP for a
// standard bitmap resource, otherwise a type name such as L"PNG". Null on any failure.
HBITMAP LoadPngBitmap(const wchar_t* picture, const wchar_t* type);
// The same for a numeric picture id.
inline HBITMAP LoadPngBitmap(int pictureId, const wchar_t* type = kPngResourceType) {
    return LoadPngBitmap(MAKEINTRESOURCEW(pictureId), type);
}
// The same, owned.
inline UniqueBitmap LoadPngPicture(int pictureId) {
    return UniqueBitmap(LoadPngBitmap(pictureId));
}

// One picture's resource ids, one for each of kPictureScales in that order; the first, drawn at
// 100 %, gives the picture's size at the layout's dpi.
using ScaledPictureIds = std::array<int, kPictureScales.size()>;

// The picture for dpi: the one drawn at its scale, or the next larger one drawn down to the
// picture's size at dpi; null when there is none.
UniqueBitmap LoadPngPictureForDpi(const ScaledPictureIds& picture, int dpi);

// Owns one decoded GDI+ image, or nothing.
class ImageHolder {
public:
    ImageHolder() = default;
    ImageHolder(ImageHolder&&) noexcept = default;
    ImageHolder& operator=(ImageHolder&&) noexcept = default;

    // Drops the image held, then decodes the picture (same references as LoadPngBitmap); the image
    // now held, or null with the holder empty.
    Gdiplus::Image* Load(const wchar_t* picture, const wchar_t* type);
    Gdiplus::Image* Load(int pictureId, const wchar_t* type = kPngResourceType) {
        return Load(MAKEINTRESOURCEW(pictureId), type);
    }

    // The same for the picture at dpi, chosen and drawn down as LoadPngPictureForDpi does.
    Gdiplus::Image* LoadForDpi(const ScaledPictureIds& picture, int dpi);

    Gdiplus::Image* Get() const noexcept { return image_.get(); }
    explicit operator bool() const noexcept { return image_ != nullptr; }
    void Reset() noexcept { image_.reset(); }
    // Natural size of the image; 0 x 0 when empty.
    int Width() const;
    int Height() const;

private:
    std::unique_ptr<Gdiplus::Image> image_;
};

// Width and height of a device bitmap; 0 x 0 for null.
SIZE BitmapSize(HBITMAP bitmap);

} // namespace tarnvel
