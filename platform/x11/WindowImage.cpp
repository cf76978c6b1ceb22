#include "WindowImage.h"

#include <sys/ipc.h>
#include <sys/shm.h>
#include <sys/socket.h>

#include <algorithm>
#include <bit>
#include <cstring>

#include "XErrorTrap.h"

namespace duskmere {

namespace {

constexpr int hostByteOrder = std::endian::native == std::endian::little ? LSBFirst : MSBFirst;

int bitsPerPixel(Display* display, int depth) {
    int count = 0;
    XPixmapFormatValues* formats = XListPixmapFormats(display, &count);
    int bits = 0;
    for (int i = 0; i < count; ++i)
        if (formats[i].depth == depth) bits = formats[i].bits_per_pixel;
    if (formats) XFree(formats);
    return bits;
}

// Shared memory is only the same memory for a server on this machine, reached through a local
// socket: a TCP connection may be forwarded from anywhere (ssh -X connects to localhost).
bool localConnection(Display* display) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    return getpeername(ConnectionNumber(display), reinterpret_cast<sockaddr*>(&address), &length) == 0 &&
           address.ss_family == AF_UNIX;
}

// The value table of one colour channel: 8-bit values scaled to the mask's width, in place.
void channelTable(unsigned long mask, std::array<uint32_t, 256>& table) {
    if (!mask) return table.fill(0);
    const int shift = std::countr_zero(mask), bits = std::popcount(mask);
    for (uint32_t v = 0; v < 256; ++v) {
        uint32_t scaled;
        if (bits <= 8) scaled = v >> (8 - bits);
        else if (bits < 16) scaled = v << (bits - 8) | v >> (16 - bits);  // 0xFF becomes all ones
        else scaled = v << (bits - 8);
        table[v] = scaled << shift;
    }
}

// Frees an image whose pixels and segment description are ours, not Xlib's to free.
void release(XImage* image) {
    image->data = nullptr;
    image->obdata = nullptr;
    XDestroyImage(image);
}

}  // namespace

WindowImage::WindowImage(Display* display, Window window, Visual* visual, int depth, Colormap colormap)
    : display_(display), window_(window), visual_(visual), depth_(depth), colormap_(colormap),
      gc_(XCreateGC(display, window, 0, nullptr)) {
    const int cls = visual->c_class;
    const int bits = bitsPerPixel(display, depth);
    if (cls == TrueColor || cls == DirectColor) {
        // Bits of the depth outside the colour masks are alpha (a 32-bit ARGB window): opaque.
        const unsigned long depthMask = depth >= 32 ? 0xFFFFFFFFul : (1ul << depth) - 1;
        opaque_ = static_cast<uint32_t>(depthMask & ~(visual->red_mask | visual->green_mask | visual->blue_mask));
        if (bits == 32 && visual->red_mask == 0xFF0000 && visual->green_mask == 0xFF00 && visual->blue_mask == 0xFF) {
            format_ = Format::swapRB;
        } else {
            format_ = Format::tables;
            channelTable(visual->red_mask, red_);
            channelTable(visual->green_mask, green_);
            channelTable(visual->blue_mask, blue_);
        }
        int event = 0, error = 0;
        shmUsable_ = bits == 32 && ImageByteOrder(display) == hostByteOrder &&
                     XShmQueryExtension(display) && localConnection(display) &&
                     XQueryExtension(display, "MIT-SHM", &shmOpcode_, &event, &error);
    } else {
        format_ = Format::cube;
        allocateColourCube();
    }
}

WindowImage::~WindowImage() {
    freeImage();
    XFreeGC(display_, gc_);
}

void WindowImage::allocateColourCube() {
    // A few levels of each primary: 6 x 6 x 6 of 256, or as many as the colour map still has room
    // for (other clients and the server keep some), at least 2 x 2 x 2.
    const int entries = std::max(visual_->map_entries, 2);
    int n = 2;
    while ((n + 1) * (n + 1) * (n + 1) <= std::min(entries, 216)) ++n;
    std::vector<XColor> wanted;
    std::vector<size_t> refused;
    for (;; --n) {
        cube_.assign(static_cast<size_t>(n * n * n), 0);
        wanted.assign(cube_.size(), XColor{});
        refused.clear();
        std::vector<unsigned long> got;
        const auto level = [&](size_t l) { return static_cast<unsigned short>(l * 65535 / static_cast<size_t>(n - 1)); };
        for (size_t i = 0; i < cube_.size(); ++i) {
            XColor& c = wanted[i];
            c.red = level(i / static_cast<size_t>(n * n));
            c.green = level(i / static_cast<size_t>(n) % static_cast<size_t>(n));
            c.blue = level(i % static_cast<size_t>(n));
            c.flags = DoRed | DoGreen | DoBlue;
            XColor cell = c;
            if (XAllocColor(display_, colormap_, &cell)) cube_[i] = cell.pixel, got.push_back(cell.pixel);
            else refused.push_back(i);
        }
        if (refused.empty() || n == 2) break;
        XFreeColors(display_, colormap_, got.data(), static_cast<int>(got.size()), 0);
    }
    for (uint32_t v = 0; v < 256; ++v) {
        const uint32_t level = (v * static_cast<uint32_t>(n - 1) + 127) / 255;
        red_[v] = level * static_cast<uint32_t>(n * n);
        green_[v] = level * static_cast<uint32_t>(n);
        blue_[v] = level;
    }
    if (refused.empty()) return;
    // A full colour map: the nearest colour it holds.
    std::vector<XColor> present(static_cast<size_t>(std::min(entries, 4096)));
    for (size_t p = 0; p < present.size(); ++p) present[p].pixel = p;
    XQueryColors(display_, colormap_, present.data(), static_cast<int>(present.size()));
    for (const size_t i : refused) {
        double best = -1;
        for (const XColor& p : present) {
            const double dr = double(p.red) - wanted[i].red, dg = double(p.green) - wanted[i].green,
                         db = double(p.blue) - wanted[i].blue;
            const double d = dr * dr + dg * dg + db * db;
            if (best < 0 || d < best) best = d, cube_[i] = p.pixel;
        }
    }
}

void WindowImage::freeImage() {
    if (!image_) return;
    if (shm_.shmaddr) {
        XShmDetach(display_, &shm_);
        shmdt(shm_.shmaddr);
        shm_ = {};
    }
    release(image_);
    image_ = nullptr;
    data_.clear();
    data_.shrink_to_fit();
}

bool WindowImage::makeSharedImage(int width, int height) {
    // An error still unreported belongs to someone else: the connection this time.
    XSync(display_, False);
    if (XErrorTrap::caught()) return false;
    // The image keeps a pointer to the segment's description: it must live as long as the image.
    shm_ = {};
    shm_.shmid = -1;
    XImage* image = XShmCreateImage(display_, visual_, static_cast<unsigned>(depth_), ZPixmap, nullptr, &shm_,
                                    static_cast<unsigned>(width), static_cast<unsigned>(height));
    if (!image) return shmUsable_ = false;
    const size_t size = static_cast<size_t>(image->bytes_per_line) * static_cast<size_t>(height);
    shm_.shmid = shmget(IPC_PRIVATE, size, IPC_CREAT | 0600);
    void* at = shm_.shmid >= 0 ? shmat(shm_.shmid, nullptr, 0) : reinterpret_cast<void*>(-1);
    bool attached = false;
    if (at != reinterpret_cast<void*>(-1)) {
        shm_.shmaddr = image->data = static_cast<char*>(at);
        shm_.readOnly = True;
        attached = XShmAttach(display_, &shm_);
        XSync(display_, False);
        if (XErrorTrap::caught()) {
            // Refused (another machine's or another namespace's server after all): quietly not.
            XErrorTrap::clear();
            attached = false;
        }
    }
    // Freed once both sides have let go of it, however the program ends.
    if (shm_.shmid >= 0) shmctl(shm_.shmid, IPC_RMID, nullptr);
    if (!attached) {
        if (at != reinterpret_cast<void*>(-1)) shmdt(at);
        shm_ = {};
        release(image);
        return shmUsable_ = false;
    }
    image_ = image;
    return true;
}

void WindowImage::makeImage(int width, int height) {
    freeImage();
    if (shmUsable_ && makeSharedImage(width, height)) return;
    image_ = XCreateImage(display_, visual_, static_cast<unsigned>(depth_), ZPixmap, 0, nullptr,
                          static_cast<unsigned>(width), static_cast<unsigned>(height), 32, 0);
    if (!image_) return;
    try {
        data_.assign(static_cast<size_t>(image_->bytes_per_line) * static_cast<size_t>(height), 0);
    } catch (const std::bad_alloc&) {
        release(image_);
        image_ = nullptr;
        return;
    }
    image_->data = data_.data();
    // Written in this machine's order; Xlib reorders for the server if it differs.
    if (image_->bits_per_pixel >= 16) image_->byte_order = hostByteOrder;
}

void WindowImage::convertRow(const uint32_t* from, int y, int x0, int x1) {
    char* row = image_->data + static_cast<ptrdiff_t>(y) * image_->bytes_per_line;
    if (format_ == Format::swapRB) {
        auto* out = reinterpret_cast<uint32_t*>(row);
        for (int x = x0; x < x1; ++x) {
            const uint32_t p = from[x - x0];
            out[x] = (p & 0xFFu) << 16 | (p & 0xFF00u) | (p >> 16 & 0xFFu) | opaque_;
        }
        return;
    }
    const bool cube = format_ == Format::cube;
    const int bits = image_->bits_per_pixel;
    for (int x = x0; x < x1; ++x) {
        const uint32_t p = from[x - x0];
        uint32_t v = red_[p & 0xFFu] + green_[p >> 8 & 0xFFu] + blue_[p >> 16 & 0xFFu] + opaque_;
        if (cube) v = static_cast<uint32_t>(cube_[v]);
        switch (bits) {
        case 32: reinterpret_cast<uint32_t*>(row)[x] = v; break;
        case 16: reinterpret_cast<uint16_t*>(row)[x] = static_cast<uint16_t>(v); break;
        case 8: reinterpret_cast<uint8_t*>(row)[x] = static_cast<uint8_t>(v); break;
        case 24: {
            auto* b = reinterpret_cast<uint8_t*>(row) + 3 * x;
            const int lo = hostByteOrder == LSBFirst ? 0 : 2, hi = 2 - lo;
            b[lo] = static_cast<uint8_t>(v);
            b[1] = static_cast<uint8_t>(v >> 8);
            b[hi] = static_cast<uint8_t>(v >> 16);
            break;
        }
        default: XPutPixel(image_, x, y, v); break;
        }
    }
}

void WindowImage::send(int x0, int y0, int x1, int y1) {
    const auto w = static_cast<unsigned>(x1 - x0), h = static_cast<unsigned>(y1 - y0);
    if (shm_.shmaddr) XShmPutImage(display_, window_, gc_, image_, x0, y0, x0, y0, w, h, False);
    else XPutImage(display_, window_, gc_, image_, x0, y0, x0, y0, w, h);
}

bool WindowImage::put(const uint32_t* picture, int width, int height, const std::vector<DeviceBox>& boxes) {
    if (!picture || width < 1 || height < 1 || boxes.empty()) return true;
    if (!image_ || image_->width != width || image_->height != height) makeImage(width, height);
    if (!image_) return false;
    for (const DeviceBox& b : boxes) {
        const int x0 = std::max(b.x0, 0), y0 = std::max(b.y0, 0);
        const int x1 = std::min(b.x1, width), y1 = std::min(b.y1, height);
        if (x0 >= x1 || y0 >= y1) continue;
        for (int y = y0; y < y1; ++y) convertRow(picture + static_cast<ptrdiff_t>(y) * width + x0, y, x0, x1);
        send(x0, y0, x1, y1);
    }
    return true;
}

void WindowImage::putPatch(const uint32_t* pixels, const DeviceBox& at) {
    const int stride = at.x1 - at.x0;
    if (!image_ || !pixels || stride < 1 || at.x0 < 0 || at.y0 < 0) return;
    const int x1 = std::min(at.x1, image_->width), y1 = std::min(at.y1, image_->height);
    if (at.x0 >= x1 || at.y0 >= y1) return;
    for (int y = at.y0; y < y1; ++y) convertRow(pixels + static_cast<ptrdiff_t>(y - at.y0) * stride, y, at.x0, x1);
    send(at.x0, at.y0, x1, y1);
}

void WindowImage::shift(const DeviceBox& area, int dx) {
    if (area.x0 >= area.x1 || area.y0 >= area.y1) return;
    XCopyArea(display_, window_, window_, gc_, area.x0 + dx, area.y0, static_cast<unsigned>(area.x1 - area.x0),
              static_cast<unsigned>(area.y1 - area.y0), area.x0, area.y0);
}

bool WindowImage::dropSharedMemoryAfter(const XErrorEvent& error) {
    if (shmOpcode_ < 0 || error.request_code != shmOpcode_) return false;
    // The segment is of no use to the server any more: let go of it on both sides (the server would
    // keep it until we disconnect), and send the pixels.
    if (shm_.shmaddr) freeImage();
    shmUsable_ = false;
    return true;
}

}  // namespace duskmere
