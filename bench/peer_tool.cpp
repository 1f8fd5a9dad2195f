// The peer library's whole-process counterpart of korvanti-batch for one
// file: read the picture, run one 3x3 filter of the same kind on one
// thread, write it as BMP. bench/whole_process_bmp.sh times the two.
//
//   korvanti-peer-tool median|blur|sharpen|invert INPUT.bmp OUTPUT.bmp
//   korvanti-peer-tool make WIDTH HEIGHT OUTPUT.bmp   (a test picture)
#include <algorithm>
#include <cstdio>
#include <string>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace {

// Smooth shading over the left half, noise over the right, a few hard-edged
// blocks: every filter path sees varied input.
int MakePicture(int width, int height, const char* path)
{
    cv::Mat picture(height, width, CV_8UC3);
    cv::randu(picture, cv::Scalar::all(0), cv::Scalar::all(256));
    cv::Mat left = picture(cv::Rect(0, 0, width / 2, height));
    cv::GaussianBlur(left, left, cv::Size(0, 0), 25);
    for (int x = 0; x + 160 <= width; x += 480)
        cv::rectangle(picture, cv::Rect(x, (x / 3) % std::max(1, height - 160), 160, 160),
                      cv::Scalar(x % 256, (x / 2) % 256, 200), cv::FILLED);
    return cv::imwrite(path, picture) ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 5 && std::string(argv[1]) == "make")
        return MakePicture(std::stoi(argv[2]), std::stoi(argv[3]), argv[4]);
    if (argc != 4) {
        std::fprintf(stderr, "usage: korvanti-peer-tool median|blur|sharpen|invert INPUT.bmp OUTPUT.bmp\n");
        return 2;
    }
    cv::setNumThreads(1);
    const std::string filter = argv[1];
    const cv::Mat picture = cv::imread(argv[2], cv::IMREAD_UNCHANGED);
    if (picture.empty()) {
        std::fprintf(stderr, "korvanti-peer-tool: %s: cannot be read\n", argv[2]);
        return 1;
    }
    const auto kernel = [](std::initializer_list<float> weights) {
        return cv::Mat(std::vector<float>(weights), true).reshape(1, 3);
    };
    cv::Mat result;
    if (filter == "median")
        cv::medianBlur(picture, result, 3);
    else if (filter == "blur")
        cv::filter2D(picture, result, -1, kernel({0.08f, 0.12f, 0.08f, 0.12f, 0.2f, 0.12f, 0.08f, 0.12f, 0.08f}));
    else if (filter == "sharpen")
        cv::filter2D(picture, result, -1, kernel({0, -1, 0, -1, 5, -1, 0, -1, 0}));
    else if (filter == "invert")
        cv::bitwise_not(picture, result);
    else {
        std::fprintf(stderr, "korvanti-peer-tool: unknown filter %s\n", argv[1]);
        return 2;
    }
    if (!cv::imwrite(argv[3], result)) {
        std::fprintf(stderr, "korvanti-peer-tool: %s: cannot be written\n", argv[3]);
        return 1;
    }
    return 0;
}
