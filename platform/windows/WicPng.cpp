#include "WicPng.h"

#include <windows.h>
#include <objidl.h>
#include <wincodec.h>

#include <vector>

#include "OutputFile.h"
#include "WinText.h"

namespace duskmere {

namespace {

// Releases a COM interface at the end of a scope.
template <class T>
class Com {
public:
    Com() = default;
    ~Com() {
        if (p_) p_->Release();
    }
    Com(const Com&) = delete;
    Com& operator=(const Com&) = delete;
    T** out() { return &p_; }
    T* operator->() const { return p_; }
    T* get() const { return p_; }

private:
    T* p_ = nullptr;
};

// COM for this thread, for as long as the encoding takes.
class ComScope {
public:
    ComScope() : hr_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)) {}
    ~ComScope() {
        if (SUCCEEDED(hr_)) CoUninitialize();
    }
    // RPC_E_CHANGED_MODE: COM is already up on this thread in the other model, which serves as well.
    bool ok() const { return SUCCEEDED(hr_) || hr_ == RPC_E_CHANGED_MODE; }
    HRESULT result() const { return hr_; }

private:
    HRESULT hr_;
};

std::string failed(const char* what, HRESULT hr) {
    return std::string("cannot encode the PNG (") + what + "): " + systemMessage(static_cast<DWORD>(hr));
}

}  // namespace

bool encodePng(const uint32_t* pixels, int64_t width, int64_t height, OutputFile& file, std::string& error) {
    if (width <= 0 || height <= 0 || width > 65535 || height > 65535) {
        error = "cannot encode a PNG of " + std::to_string(width) + "x" + std::to_string(height) + " pixels";
        file.abandon();
        return false;
    }
    const UINT w = static_cast<UINT>(width);
    const UINT h = static_cast<UINT>(height);
    auto fail = [&](const char* what, HRESULT hr) {
        error = failed(what, hr);
        file.abandon();
        return false;
    };

    const ComScope com;
    if (!com.ok()) return fail("COM", com.result());
    Com<IWICImagingFactory> factory;
    HRESULT hr = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                  reinterpret_cast<void**>(factory.out()));
    if (FAILED(hr)) return fail("imaging component", hr);
    Com<IStream> stream;
    hr = CreateStreamOnHGlobal(nullptr, TRUE, stream.out());
    if (FAILED(hr)) return fail("memory stream", hr);
    Com<IWICBitmapEncoder> encoder;
    hr = factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.out());
    if (SUCCEEDED(hr)) hr = encoder->Initialize(stream.get(), WICBitmapEncoderNoCache);
    if (FAILED(hr)) return fail("encoder", hr);
    Com<IWICBitmapFrameEncode> frame;
    Com<IPropertyBag2> options;
    hr = encoder->CreateNewFrame(frame.out(), options.out());
    if (SUCCEEDED(hr)) hr = frame->Initialize(options.get());
    if (SUCCEEDED(hr)) hr = frame->SetSize(w, h);
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    if (SUCCEEDED(hr)) hr = frame->SetPixelFormat(&format);
    if (FAILED(hr)) return fail("frame", hr);
    if (format != GUID_WICPixelFormat24bppBGR) return fail("pixel format", WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT);

    // Rows of B, G, R, padded to four bytes, a slice at a time to bound the memory.
    const UINT stride = (w * 3 + 3) & ~3u;
    const UINT sliceRows = h < 256 ? h : 256;
    std::vector<BYTE> rows(static_cast<size_t>(stride) * sliceRows);
    for (UINT y0 = 0; y0 < h; y0 += sliceRows) {
        const UINT n = h - y0 < sliceRows ? h - y0 : sliceRows;
        for (UINT y = 0; y < n; ++y) {
            const uint32_t* in = pixels + static_cast<size_t>(y0 + y) * w;
            BYTE* out = rows.data() + static_cast<size_t>(y) * stride;
            for (UINT x = 0; x < w; ++x) {
                const uint32_t p = in[x];
                *out++ = static_cast<BYTE>(p >> 16);
                *out++ = static_cast<BYTE>(p >> 8);
                *out++ = static_cast<BYTE>(p);
            }
        }
        hr = frame->WritePixels(n, stride, stride * n, rows.data());
        if (FAILED(hr)) return fail("pixels", hr);
    }
    hr = frame->Commit();
    if (SUCCEEDED(hr)) hr = encoder->Commit();
    if (FAILED(hr)) return fail("commit", hr);

    // The encoded bytes, out of the memory stream and into the file.
    HGLOBAL memory = nullptr;
    hr = GetHGlobalFromStream(stream.get(), &memory);
    STATSTG stat{};
    if (SUCCEEDED(hr)) hr = stream->Stat(&stat, STATFLAG_NONAME);
    if (FAILED(hr)) return fail("memory stream", hr);
    const void* bytes = GlobalLock(memory);
    if (!bytes) return fail("memory stream", HRESULT_FROM_WIN32(GetLastError()));
    const bool written = file.write(bytes, static_cast<size_t>(stat.cbSize.QuadPart));
    GlobalUnlock(memory);
    (void)written;  // a failed write is reported, with its reason, by commit()
    return file.commit(error);
}

bool writePngFile(const uint32_t* pixels, int64_t width, int64_t height, const std::string& path, std::string& error) {
    OutputFile file;
    if (!file.open(path, error)) return false;
    return encodePng(pixels, width, height, file, error);
}

}  // namespace duskmere
