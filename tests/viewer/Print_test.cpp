// Print from the real viewer on the real default printer: the cups-pdf queue "PDF"
// that ./check sets up. Its PDF is rendered by poppler and the picture at the
// page's top-left is measured.
#include "tests/viewer/ViewerFixture.h"
#include <algorithm>
#include <set>
#include <sstream>
#include "viewer/Print.h"

namespace {

// cups-pdf writes to ~/PDF of the user who printed, home as the system knows it.
std::string PdfFolder() {
    std::string home = RunHost("getent passwd \"$(id -u)\" | cut -d: -f6");
    while (!home.empty() && home.back() == '\n')
        home.pop_back();
    return home + "/PDF";
}

std::set<std::string> PdfsIn(const std::string& folder) {
    std::set<std::string> pdfs;
    std::istringstream lines(RunHost("ls -1 '" + folder + "'/*.pdf 2>/dev/null"));
    for (std::string line; std::getline(lines, line);)
        if (!line.empty())
            pdfs.insert(line);
    return pdfs;
}

// cups-pdf works after the job has been handed over: the new PDF counts once it is
// there and the queue has nothing left to do. Empty after a minute without one.
std::string WaitForNewPdf(const std::string& folder, const std::set<std::string>& before) {
    for (int i = 0; i < 600; ++i) {
        for (const std::string& pdf : PdfsIn(folder))
            if (!before.count(pdf) && RunHost("lpstat -o PDF 2>/dev/null").empty())
                return pdf;
        Sleep(100);
    }
    return "";
}

// A picture in poppler's PPM output (P6, 8 bits per channel).
struct Picture {
    int width = 0, height = 0;
    std::vector<BYTE> rgb;
    DWORD At(int x, int y) const {
        const BYTE* p = &rgb[((size_t)y * width + x) * 3];
        return p[0] << 16 | p[1] << 8 | p[2];
    }
    bool White(int x, int y) const {
        const BYTE* p = &rgb[((size_t)y * width + x) * 3];
        return p[0] > 240 && p[1] > 240 && p[2] > 240;
    }
};

Picture ReadPpm(const std::string& hostPath) {
    Picture pic;
    FILE* f = fopen(hostPath.c_str(), "rb");
    if (!f)
        return pic;
    int maxval = 0;
    if (fscanf(f, "P6 %d %d %d", &pic.width, &pic.height, &maxval) == 3 && maxval == 255 && fgetc(f) != EOF) {
        pic.rgb.resize((size_t)pic.width * pic.height * 3);
        if (fread(pic.rgb.data(), 1, pic.rgb.size(), f) != pic.rgb.size())
            pic = Picture();
    }
    fclose(f);
    return pic;
}

// The one image embedded in the PDF: what the printer was sent.
Picture EmbeddedImage(const std::string& pdf, const std::string& hostPrefix) {
    if (system(("pdfimages -f 1 -l 1 '" + pdf + "' '" + hostPrefix + "'").c_str()) != 0)
        return Picture();
    return ReadPpm(hostPrefix + "-000.ppm");
}

std::vector<BYTE> FlippedRows(std::vector<BYTE> rgb, int width) {
    size_t row = (size_t)width * 3, height = width ? rgb.size() / row : 0;
    for (size_t y = 0; y < height / 2; ++y)
        std::swap_ranges(rgb.begin() + y * row, rgb.begin() + (y + 1) * row,
                         rgb.begin() + (height - 1 - y) * row);
    return rgb;
}

// The viewer's library image as the library scales it with filter (none: as it is),
// top row first; the viewer's image is bound again afterwards.
std::vector<BYTE> LibraryScaled(ILuint source, int width, int height, ILenum filter) {
    ILuint copy = 0;
    ilGenImages(1, &copy);
    ilBindImage(copy);
    ilCopyImage(source);
    if (filter) {
        iluImageParameter(ILU_FILTER, filter);
        iluScale(width, height, ilGetInteger(IL_IMAGE_DEPTH));
    }
    std::vector<BYTE> rgb((size_t)width * height * 3);
    ilCopyPixels(0, 0, 0, width, height, 1, IL_RGB, IL_UNSIGNED_BYTE, rgb.data());
    if (ilGetInteger(IL_IMAGE_ORIGIN) == IL_ORIGIN_LOWER_LEFT)
        rgb = FlippedRows(rgb, width);
    ilDeleteImages(1, &copy);
    ilBindImage(source);
    return rgb;
}

int Channel(DWORD c, int shift) {
    return (int)(c >> shift & 0xFF);
}

// Colours match within what rendering the page may blend in.
bool Near(DWORD a, DWORD b) {
    for (int shift : {0, 8, 16})
        if (abs(Channel(a, shift) - Channel(b, shift)) > 24)
            return false;
    return true;
}

std::string Hex(DWORD c) {
    char t[16];
    snprintf(t, sizeof t, "%06lX", (unsigned long)c);
    return t;
}

// The test image: four flat quadrants, so a flipped or mirrored print shows.
const LONG kWidth = 40, kHeight = 30;
const DWORD kTopLeft = 0xD01818, kTopRight = 0x18A018, kBottomLeft = 0x1818D0, kBottomRight = 0x202020;

DWORD QuadrantColour(LONG x, LONG y) {
    if (y < kHeight / 2)
        return x < kWidth / 2 ? kTopLeft : kTopRight;
    return x < kWidth / 2 ? kBottomLeft : kBottomRight;
}

class Printing : public Viewer {
protected:
    void SetUp() override {
        Viewer::SetUp();
        LPBITMAPINFOHEADER dib = MakeTestDib(kWidth, kHeight, 24, {}, QuadrantColour);
        m_bmp = Path("quadrants.bmp");
        WriteBmpFile(dib, m_bmp.c_str());
        FreeDib(dib);
    }

    std::string m_bmp;
};

// Device pixels per inch of the default printer, as the viewer's print gets them.
int PrinterDpi() {
    char name[512] = "";
    DWORD size = sizeof name;
    if (!GetDefaultPrinterA(name, &size))
        return 0;
    HDC dc = CreateDCA("WINSPOOL", name, nullptr, nullptr);
    if (!dc)
        return 0;
    int dpi = GetDeviceCaps(dc, LOGPIXELSX);
    DeleteDC(dc);
    return dpi;
}

} // namespace

TEST_F(Printing, PrintsTheDisplaySizeAtTheTopLeftOfThePage) {
    char name[512] = "";
    DWORD size = sizeof name;
    ASSERT_TRUE(GetDefaultPrinterA(name, &size)) << "no default printer: ./check sets up the queue PDF";
    ASSERT_STREQ("PDF", name);
    const int printerDpi = PrinterDpi();
    ASSERT_GT(printerDpi, 0);
    // Rendered at twice the printer's resolution: each printed pixel becomes 2 x 2.
    const int renderDpi = 2 * printerDpi;
    const std::string folder = PdfFolder();

    const struct {
        UINT zoomCommand; // after Original
        double factor;
        int displayWidth, displayHeight;
        // The filter the copy is scaled with, and one that would give other pixels.
        // Debian's DevIL reduces alike whatever the filter, so only enlarging tells.
        ILenum filter, otherFilter;
    } cases[] = {
        {0, 1.0, 40, 30, 0, 0},
        {ID_RESIZE_LARGER, 2.0, 80, 60, ILU_SCALE_MITCHELL, ILU_BILINEAR},
        {ID_RESIZE_SMALLER, 0.5, 20, 15, ILU_BILINEAR, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("factor " + std::to_string(c.factor));
        Boxes::count = 0;
        std::set<std::string> before = PdfsIn(folder);
        double zoom = 0;
        int displayW = 0, displayH = 0, boundBefore = -1, boundAfter = -2;
        int widthAfter = 0, heightAfter = 0, viewerName = 0;
        std::vector<BYTE> expectedSent, otherSent;
        View(m_bmp, [&](CImageDlg& dlg) {
            dlg.SendMessage(WM_COMMAND, ID_RESIZE_ORIGINAL);
            if (c.zoomCommand)
                dlg.SendMessage(WM_COMMAND, c.zoomCommand);
            zoom = dlg.m_dZoom;
            displayW = dlg.m_nDisplayWidth;
            displayH = dlg.m_nDisplayHeight;
            viewerName = (int)dlg.m_nImageName;
            boundBefore = ilGetInteger(IL_CUR_IMAGE);
            dlg.SendMessage(WM_COMMAND, ID_FILE_PRINT_IMAGE);
            boundAfter = ilGetInteger(IL_CUR_IMAGE);
            widthAfter = ilGetInteger(IL_IMAGE_WIDTH);
            heightAfter = ilGetInteger(IL_IMAGE_HEIGHT);
            expectedSent = LibraryScaled(dlg.m_nImageName, displayW, displayH, c.filter);
            if (c.otherFilter)
                otherSent = LibraryScaled(dlg.m_nImageName, displayW, displayH, c.otherFilter);
            dlg.SendMessage(WM_COMMAND, IDCANCEL);
        });
        EXPECT_DOUBLE_EQ(c.factor, zoom);
        EXPECT_EQ(c.displayWidth, displayW);
        EXPECT_EQ(c.displayHeight, displayH);
        EXPECT_EQ(0, Boxes::count) << Boxes::caption << ": " << Boxes::text;
        EXPECT_EQ(0, g_nLastImageError);
        // The viewer's own library image is bound again, unscaled.
        EXPECT_EQ(viewerName, boundBefore);
        EXPECT_EQ(viewerName, boundAfter);
        EXPECT_EQ(kWidth, widthAfter);
        EXPECT_EQ(kHeight, heightAfter);

        std::string pdf = WaitForNewPdf(folder, before);
        ASSERT_FALSE(pdf.empty()) << "no new PDF in " << folder;
        // The printer got the copy scaled to the display size with the filter for the
        // direction, not the image itself; the PDF keeps its pixels losslessly.
        Picture sent = EmbeddedImage(pdf, testfiles::HostPath(m_dir) + "sent");
        EXPECT_EQ(c.displayWidth, sent.width);
        EXPECT_EQ(c.displayHeight, sent.height);
        // The driver stores the rows in the DIB's own order; the page shows them upright.
        EXPECT_TRUE(sent.rgb == expectedSent || FlippedRows(sent.rgb, sent.width) == expectedSent)
            << "the copy sent is not the one scaled as expected";
        if (c.otherFilter)
            EXPECT_TRUE(otherSent != expectedSent) << "the image does not tell the two filters apart";

        std::string rendered = testfiles::HostPath(m_dir) + "page";
        char command[1024];
        snprintf(command, sizeof command, "pdftoppm -r %d -x 0 -y 0 -W 400 -H 400 -singlefile '%s' '%s'",
                 renderDpi, pdf.c_str(), rendered.c_str());
        ASSERT_EQ(0, system(command)) << command;
        Picture page = ReadPpm(rendered + ".ppm");
        remove(pdf.c_str());
        ASSERT_EQ(400, page.width);
        ASSERT_EQ(400, page.height);

        const int expectW = c.displayWidth * renderDpi / printerDpi;
        const int expectH = c.displayHeight * renderDpi / printerDpi;
        // The picture's extent along a row and a column through the top-left quadrant;
        // the renderer may round the page edge of the picture out by one pixel.
        int printedW = 0, printedH = 0;
        while (printedW < page.width && !page.White(printedW, expectH / 4))
            ++printedW;
        while (printedH < page.height && !page.White(expectW / 4, printedH))
            ++printedH;
        EXPECT_NEAR(expectW, printedW, 1);
        EXPECT_NEAR(expectH, printedH, 1);
        const struct {
            int x, y;
            DWORD colour;
        } probes[] = {
            {expectW / 4, expectH / 4, kTopLeft},
            {3 * expectW / 4, expectH / 4, kTopRight},
            {expectW / 4, 3 * expectH / 4, kBottomLeft},
            {3 * expectW / 4, 3 * expectH / 4, kBottomRight},
        };
        for (const auto& p : probes)
            EXPECT_TRUE(Near(p.colour, page.At(p.x, p.y)))
                << "at " << p.x << "," << p.y << ": " << Hex(page.At(p.x, p.y)) << " for " << Hex(p.colour);
    }
}

TEST_F(Printing, NoUsablePrinterShowsPrintErrorAndChangesNothing) {
    const struct {
        const char* printer;
        const char* text;
    } cases[] = {
        {nullptr, "No printer is set up to print on."},
        {"Kestrel No Such Printer", "The printer \"Kestrel No Such Printer\" cannot be reached."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.printer ? c.printer : "no printer");
        Boxes::count = 0;
        Boxes::caption.clear();
        Boxes::text.clear();
        int depthBefore = -1, depthAfter = -2, bound = -1, viewerName = 0, width = 0;
        double zoomBefore = 0, zoomAfter = 0;
        View(m_bmp, [&](CImageDlg& dlg) {
            dlg.SendMessage(WM_COMMAND, ID_RESIZE_ORIGINAL);
            dlg.SendMessage(WM_COMMAND, ID_RESIZE_LARGER);
            depthBefore = dlg.m_nImageDepth;
            zoomBefore = dlg.m_dZoom;
            PrintViewedImage(dlg, c.printer);
            depthAfter = dlg.m_nImageDepth;
            zoomAfter = dlg.m_dZoom;
            viewerName = (int)dlg.m_nImageName;
            bound = ilGetInteger(IL_CUR_IMAGE);
            width = ilGetInteger(IL_IMAGE_WIDTH);
            dlg.SendMessage(WM_COMMAND, IDCANCEL);
        });
        EXPECT_EQ(1, Boxes::count);
        EXPECT_EQ("Print Error", Boxes::caption);
        EXPECT_EQ(c.text, Boxes::text);
        EXPECT_EQ(0, g_nLastImageError);
        EXPECT_EQ(depthBefore, depthAfter);
        EXPECT_DOUBLE_EQ(zoomBefore, zoomAfter);
        EXPECT_EQ(viewerName, bound);
        EXPECT_EQ(kWidth, width);
    }
}

// A viewer whose file did not load has nothing to print: no box, no job.
TEST_F(Printing, AViewerWithoutAnImagePrintsNothing) {
    ilInit(); // as the viewer has done before its load failed
    iluInit();
    CImageDlg dlg;
    strcpy(dlg.m_szFileName, m_bmp.c_str());
    PrintViewedImage(dlg, "PDF");
    EXPECT_EQ(0, Boxes::count) << Boxes::caption << ": " << Boxes::text;
    EXPECT_EQ(0, g_nLastImageError);
    EXPECT_EQ("", RunHost("lpstat -o PDF 2>/dev/null"));
}
