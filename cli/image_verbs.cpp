// check, info and pack: the verbs that work on image files.
#include <cstdio>
#include <fstream>
#include <map>
#include <regex>

#include "cli/image_listing.h"
#include "cli/verbs.h"
#include "engine/image.h"
#include "ui/image_file.h"

namespace halden::cli {

namespace {

// A verb that reads one image file and ends with its validation status.
class ImageVerb : public Verb {
protected:
    ImageVerb(CLI::App& app, const char* name, const char* description) {
        command_ = app.add_subcommand(name, description);
        command_->add_option("FILE", path_, "the image (.hfi)")->required();
    }

    int run(Terminal& terminal) override {
        const ImageFile file = readImageFile(path_);
        if (!file.ok) {
            terminal.err(file.error);
            return 1;
        }
        show(terminal, file.bytes);
        const StatusCode rc = validateImage(file.bytes);
        (rc == 0 ? terminal.out(statusMessage(rc)) : terminal.err(statusMessage(rc)));
        return static_cast<int>(rc);
    }

    virtual void show(Terminal& terminal, const Bytes& image) = 0;

    std::string path_;
};

class CheckVerb : public ImageVerb {
public:
    explicit CheckVerb(CLI::App& app) : ImageVerb(app, "check", "Validate an update image") {}

private:
    void show(Terminal&, const Bytes&) override {}
};

class InfoVerb : public ImageVerb {
public:
    explicit InfoVerb(CLI::App& app)
        : ImageVerb(app, "info", "List an update image's records and checksum") {}

private:
    void show(Terminal& terminal, const Bytes& image) override {
        for (const std::string& line : describeImage(path_, image)) terminal.out(line);
    }
};

class PackVerb : public Verb {
public:
    explicit PackVerb(CLI::App& app) {
        command_ = app.add_subcommand(
            "pack", "Write a valid update image from records, in the order they are given");
        command_->add_option("OUT", out_, "the image file to write")->required();
        area_ = command_
                    ->add_option("--area", areas_,
                                 "FILE[:MAJOR.MINOR]: an area written from FILE (data bytes "
                                 "0 to 0x7F); without a version the update never asks "
                                 "whether it is up to date")
                    ->allow_extra_args(false);
        delay_ = command_->add_option("--delay", delays_, "a pause of N tenths of a second")
                     ->check(CLI::Range(0, 255))
                     ->allow_extra_args(false);
        control_ = command_->add_option("--control", controls_, "a control request with CODE")
                       ->check(CLI::Range(0, 3))
                       ->allow_extra_args(false);
        skip_ = command_->add_flag("--skip", skips_, "a record that does nothing");
    }

    int run(Terminal& terminal) override {
        ImageBuilder builder;
        std::map<const CLI::Option*, size_t> used;
        for (const CLI::Option* option : command_->parse_order()) {
            const size_t i = used[option]++;
            std::string error;
            if (option == area_) {
                error = addArea(builder, areas_.at(i));
            } else if (option == delay_) {
                error = builder.addDelay(delays_.at(i));
            } else if (option == control_) {
                error = builder.addControl(controls_.at(i));
            } else if (option == skip_) {
                builder.addSkip();
            }
            if (!error.empty()) {
                terminal.err(error);
                return 1;
            }
        }
        const Bytes image = builder.finish();
        const std::string temp = out_ + ".part";
        {
            std::ofstream file(temp, std::ios::binary | std::ios::trunc);
            file.write(reinterpret_cast<const char*>(image.data()),
                       static_cast<std::streamsize>(image.size()));
            file.close();
            if (!file) {
                std::remove(temp.c_str());
                terminal.err("Can't write file " + out_);
                return 1;
            }
        }
        if (std::rename(temp.c_str(), out_.c_str()) != 0) {
            std::remove(temp.c_str());
            terminal.err("Can't write file " + out_);
            return 1;
        }
        terminal.out("Wrote " + out_ + " (" + std::to_string(image.size()) + " bytes)");
        return 0;
    }

private:
    static std::string addArea(ImageBuilder& builder, const std::string& given) {
        std::string path = given;
        uint8_t major = kNeverAskVersion, minor = kNeverAskVersion;
        std::smatch m;
        if (std::regex_match(given, m, std::regex("(.+):([0-9]{1,3})\\.([0-9]{1,3})"))) {
            path = m[1];
            const int a = std::stoi(m[2]), b = std::stoi(m[3]);
            if (a > 127 || b > 127) return "version numbers are 0 to 127: " + given;
            major = static_cast<uint8_t>(a);
            minor = static_cast<uint8_t>(b);
        }
        const ImageFile file = readImageFile(path);
        if (!file.ok) return file.error;
        const std::string error = builder.addArea(file.bytes, major, minor);
        return error.empty() ? error : path + ": " + error;
    }

    std::string out_;
    std::vector<std::string> areas_;
    std::vector<unsigned> delays_, controls_;
    int skips_ = 0;
    CLI::Option *area_, *delay_, *control_, *skip_;
};

}  // namespace

std::unique_ptr<Verb> makeCheckVerb(CLI::App& app) {
    return std::make_unique<CheckVerb>(app);
}
std::unique_ptr<Verb> makeInfoVerb(CLI::App& app) {
    return std::make_unique<InfoVerb>(app);
}
std::unique_ptr<Verb> makePackVerb(CLI::App& app) {
    return std::make_unique<PackVerb>(app);
}

}  // namespace halden::cli
