// korvanti-photo-peer: the same whole-process job as korvanti-batch on one
// photo (read, one filter, write) done with OpenCV on one thread, for the
// side-by-side timing in photo_compare.sh. Also makes the test photo.
//
//   korvanti-photo-peer make OUT WIDTH HEIGHT   a noisy gradient picture
//   korvanti-photo-peer EFFECT IN OUT           median, blur or invert
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

int Make(const std::string& path, int width, int height)
{
    cv::Mat picture(height, width, CV_8UC3);
    cv::RNG random(12345);
    for (int y = 0; y < height; ++y) {
        auto* row = picture.ptr<cv::Vec3b>(y);
        for (int x = 0; x < width; ++x) {
            const int noise = random.uniform(-24, 25);
            row[x] = cv::Vec3b(cv::saturate_cast<uint8_t>(x * 255 / width + noise),
                               cv::saturate_cast<uint8_t>(y * 255 / height + noise),
                               cv::saturate_cast<uint8_t>((x + y) * 255 / (width + height) - noise));
        }
    }
    return cv::imwrite(path, picture, {cv::IMWRITE_JPEG_QUALITY, 92}) ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    cv::setNumThreads(1);
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 4 && args[0] == "make")
        return Make(args[1], std::atoi(args[2].c_str()), std::atoi(args[3].c_str()));
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: korvanti-photo-peer make OUT WIDTH HEIGHT | (median|blur|invert) IN OUT\n");
        return 2;
    }
    const cv::Mat picture = cv::imread(args[1], cv::IMREAD_COLOR);
    if (picture.empty())
        return 1;
    cv::Mat out;
    if (args[0] == "median") {
        cv::medianBlur(picture, out, 3);
    } else if (args[0] == "blur") {
        const std::vector<float> weights{0.08f, 0.12f, 0.08f, 0.12f, 0.2f, 0.12f, 0.08f, 0.12f, 0.08f};
        cv::filter2D(picture, out, -1, cv::Mat(weights, true).reshape(1, 3));
    } else if (args[0] == "invert") {
        cv::bitwise_not(picture, out);
    } else {
        return 2;
    }
    return cv::imwrite(args[2], out, {cv::IMWRITE_JPEG_QUALITY, 92}) ? 0 : 1;
}
