// Resource ids of the embedded PNG pictures (type "PNG", language 2052); shared by pictures.rc and
// the code.
#pragma once

#define IDP_CLOSE_BUTTON 217
#define IDP_PHONE_DOWNLOAD 219
#define IDP_MAIN_BACKGROUND 220
#define IDP_STEP_TRACK 221
#define IDP_STEP_FILL 222
#define IDP_PATH_BOX_FOCUSED 225
#define IDP_PATH_BOX 226
#define IDP_BAR_TRACK 227
#define IDP_BAR_FILL 228
#define IDP_PHONE_UPGRADE 229
#define IDP_SUCCESS_FACE 230
#define IDP_LOGO_BADGE 231
#define IDP_FAILURE_FACE 232
#define IDP_BACK_BUTTON 243
#define IDP_NEXT_BUTTON 244
#define IDP_BROWSE_BUTTON 245

#ifdef __cplusplus
namespace tarnvel {
inline constexpr int kPictureCloseButton = IDP_CLOSE_BUTTON;        // 180 x 60, three frames
inline constexpr int kPicturePhoneDownload = IDP_PHONE_DOWNLOAD;    // 120 x 240
inline constexpr int kPictureMainBackground = IDP_MAIN_BACKGROUND;  // 720 x 500
inline constexpr int kPictureStepTrack = IDP_STEP_TRACK;            // 653 x 3
inline constexpr int kPictureStepFill = IDP_STEP_FILL;              // 653 x 3
inline constexpr int kPicturePathBoxFocused = IDP_PATH_BOX_FOCUSED; // 345 x 30
inline constexpr int kPicturePathBox = IDP_PATH_BOX;                // 345 x 30
inline constexpr int kPictureBarTrack = IDP_BAR_TRACK;              // 208 x 12
inline constexpr int kPictureBarFill = IDP_BAR_FILL;                // 208 x 12
inline constexpr int kPicturePhoneUpgrade = IDP_PHONE_UPGRADE;      // 120 x 240
inline constexpr int kPictureSuccessFace = IDP_SUCCESS_FACE;        // 120 x 120
inline constexpr int kPictureLogoBadge = IDP_LOGO_BADGE;            // 36 x 36
inline constexpr int kPictureFailureFace = IDP_FAILURE_FACE;        // 120 x 120
inline constexpr int kPictureBackButton = IDP_BACK_BUTTON;          // 420 x 42, three frames
inline constexpr int kPictureNextButton = IDP_NEXT_BUTTON;          // 420 x 42, three frames
inline constexpr int kPictureBrowseButton = IDP_BROWSE_BUTTON;      // 420 x 42, three frames

// The picture drawn at scalePercent (100, 125, 150 or 200; any other answers the 100 % one).
constexpr int ScaledPictureId(int pictureId, int scalePercent) {
    switch (scalePercent) {
    case 125:
        return pictureId + 1000;
    case 150:
        return pictureId + 2000;
    case 200:
        return pictureId + 3000;
    default:
        return pictureId;
    }
}
} // namespace tarnvel
#endif
