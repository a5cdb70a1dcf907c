// NSWorkspace and NSRunningApplication.
#include "platform/macos/apple_sdk.h"

#include <algorithm>

#include "platform/macos/services.h"
#include "platform/workspace.h"

namespace cuh::macos {
namespace {

// The edge of the square iconForFile renders: the largest icon the helper
// hands out, so a smaller one is a downscale.
constexpr NSInteger kIconPixels = 256;

std::optional<std::string> toString(NSString* string) {
  if (!string)
    return std::nullopt;
  const char* utf8 = string.UTF8String;
  if (!utf8)
    return std::nullopt;
  return std::string(utf8);
}

// Nil when the bytes are not UTF-8.
NSString* toNSString(std::string_view text) {
  return [[NSString alloc] initWithBytes:text.data()
                                  length:text.size()
                                encoding:NSUTF8StringEncoding];
}

class MacRunningApplication final : public platform::RunningApplication {
 public:
  explicit MacRunningApplication(NSRunningApplication* application) : application_(application) {}

  int32_t processIdentifier() const override { return application_.processIdentifier; }
  bool isTerminated() const override { return application_.isTerminated; }
  // One launch of one process: the same pid and the same launch date, both
  // documented properties (-[NSRunningApplication isEqual:] promises nothing
  // across two lookups). An application launched outside LaunchServices has
  // no launch date; two such objects with one pid are one launch, since a pid
  // is not reused within the span of a request.
  bool isEqual(const platform::RunningApplication& other) const override {
    const auto* mac = dynamic_cast<const MacRunningApplication*>(&other);
    if (!mac)
      return false;
    if (application_ == mac->application_)
      return true;
    if (application_.processIdentifier != mac->application_.processIdentifier)
      return false;
    NSDate* mine = application_.launchDate;
    NSDate* theirs = mac->application_.launchDate;
    if (!mine || !theirs)
      return !mine && !theirs;
    return [mine isEqualToDate:theirs];
  }
  platform::ActivationPolicy activationPolicy() const override {
    return static_cast<platform::ActivationPolicy>(application_.activationPolicy);
  }
  std::optional<std::string> localizedName() const override {
    return toString(application_.localizedName);
  }
  std::optional<std::string> bundleIdentifier() const override {
    return toString(application_.bundleIdentifier);
  }
  std::optional<std::string> bundleURLPath() const override {
    return toString(application_.bundleURL.path);
  }
  bool isActive() const override { return application_.isActive; }
  bool isFinishedLaunching() const override { return application_.isFinishedLaunching; }

 private:
  NSRunningApplication* application_;
};

platform::RunningApplicationRef wrap(NSRunningApplication* application) {
  if (!application)
    return nullptr;
  return std::make_shared<const MacRunningApplication>(application);
}

class MacWorkspace final : public platform::Workspace {
 public:
  platform::RunningApplicationRef frontmostApplication() override {
    return wrap(NSWorkspace.sharedWorkspace.frontmostApplication);
  }

  std::vector<platform::RunningApplicationRef> runningApplications() override {
    NSArray<NSRunningApplication*>* applications = NSWorkspace.sharedWorkspace.runningApplications;
    std::vector<platform::RunningApplicationRef> out;
    out.reserve(applications.count);
    for (NSUInteger i = 0; i < applications.count; ++i) {
      out.push_back(wrap([applications objectAtIndex:i]));
    }
    return out;
  }

  platform::RunningApplicationRef runningApplicationWithProcessIdentifier(int32_t pid) override {
    return wrap([NSRunningApplication runningApplicationWithProcessIdentifier:pid]);
  }

  std::optional<std::string> urlForApplicationWithBundleIdentifier(
      std::string_view bundleIdentifier) override {
    NSString* identifier = toNSString(bundleIdentifier);
    if (!identifier)
      return std::nullopt;
    return toString(
        [NSWorkspace.sharedWorkspace URLForApplicationWithBundleIdentifier:identifier].path);
  }

  std::optional<std::string> fullPathForApplication(std::string_view name) override {
    NSString* applicationName = toNSString(name);
    if (!applicationName)
      return std::nullopt;
      // Deprecated since macOS 11 in favour of bundle-identifier lookup, but it is
      // the only lookup by display name and still works.
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wdeprecated-declarations"
    return toString([NSWorkspace.sharedWorkspace fullPathForApplication:applicationName]);
#pragma clang diagnostic pop
  }

  void openApplicationAtURL(std::string_view absolutePath,
                            const platform::OpenConfiguration& configuration,
                            platform::OpenCompletion completion) override {
    NSString* path = toNSString(absolutePath);
    if (!path) {
      // fileURLWithPath: would raise on nil; answer the way the platform
      // answers a failed launch: later, with a description.
      dispatch_async(dispatch_get_main_queue(), ^{
        try {
          completion(nullptr, std::string("The application path is not valid UTF-8."));
        } catch (...) {
        }
      });
      return;
    }
    NSWorkspaceOpenConfiguration* open = [NSWorkspaceOpenConfiguration configuration];
    open.activates = configuration.activates;
    open.addsToRecentItems = configuration.addsToRecentItems;
    [NSWorkspace.sharedWorkspace
        openApplicationAtURL:[NSURL fileURLWithPath:path]
               configuration:open
           completionHandler:^(NSRunningApplication* application, NSError* error) {
             // The handler is called by AppKit, which no C++ exception may
             // cross. A completion that fails ends here; the request's reply
             // handle it held answers when the block goes.
             try {
               completion(wrap(application),
                          error ? toString(error.localizedDescription) : std::nullopt);
             } catch (...) {
             }
           }];
  }

  platform::Image iconForFile(std::string_view path) override {
    NSString* filePath = toNSString(path);
    // Any string names a file to iconForFile:; one that is not UTF-8 names
    // none and gets the generic icon, like a missing file.
    NSImage* icon = [NSWorkspace.sharedWorkspace iconForFile:filePath ? filePath : @""];
    NSBitmapImageRep* bitmap =
        [[NSBitmapImageRep alloc] initWithBitmapDataPlanes:nullptr
                                                pixelsWide:kIconPixels
                                                pixelsHigh:kIconPixels
                                             bitsPerSample:8
                                           samplesPerPixel:4
                                                  hasAlpha:YES
                                                  isPlanar:NO
                                            colorSpaceName:NSDeviceRGBColorSpace
                                               bytesPerRow:0
                                              bitsPerPixel:0];
    if (!bitmap || !bitmap.bitmapData)
      return {};
    bitmap.size = NSMakeSize(kIconPixels, kIconPixels);
    [NSGraphicsContext saveGraphicsState];
    NSGraphicsContext.currentContext = [NSGraphicsContext graphicsContextWithBitmapImageRep:bitmap];
    [icon drawInRect:NSMakeRect(0, 0, kIconPixels, kIconPixels)
            fromRect:NSZeroRect
           operation:NSCompositingOperationCopy
            fraction:1.0];
    [NSGraphicsContext restoreGraphicsState];

    // The bitmap holds premultiplied RGBA rows, possibly padded; the platform
    // image is unpadded and not premultiplied.
    platform::Image image;
    image.width = static_cast<int>(kIconPixels);
    image.height = static_cast<int>(kIconPixels);
    image.rgba.resize(static_cast<size_t>(kIconPixels * kIconPixels * 4));
    const unsigned char* data = bitmap.bitmapData;
    const NSInteger rowBytes = bitmap.bytesPerRow;
    for (NSInteger y = 0; y < kIconPixels; ++y) {
      const unsigned char* row = data + y * rowBytes;
      uint8_t* out = image.rgba.data() + y * kIconPixels * 4;
      for (NSInteger x = 0; x < kIconPixels; ++x, row += 4, out += 4) {
        const unsigned alpha = row[3];
        for (int c = 0; c < 3; ++c) {
          out[c] = alpha == 0
                       ? 0
                       : static_cast<uint8_t>(std::min(255u, (row[c] * 255u + alpha / 2) / alpha));
        }
        out[3] = static_cast<uint8_t>(alpha);
      }
    }
    return image;
  }
};

}  // namespace

std::unique_ptr<platform::Workspace> createWorkspace() {
  return std::make_unique<MacWorkspace>();
}

}  // namespace cuh::macos
