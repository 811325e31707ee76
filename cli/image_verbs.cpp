// check, info and pack: the verbs that work on image files.
#include <cctype>
#include <map>
#include <optional>

#include "app/atomic_file.h"
#include "app/image_file.h"
#include "app/image_listing.h"
#include "cli/verbs.h"
#include "engine/image.h"

namespace halden::cli {

namespace {

// A verb that reads one image file and ends with its validation status.
class ImageVerb : public Verb {
protected:
    ImageVerb(CLI::App& app, const char* name, const char* description) {
        command_ = app.add_subcommand(name, description);
        command_->add_option("FILE", path_, "the image (.hfi)")->required();
        addJsonOption();
    }

    int run(Terminal& terminal) override {
        terminal.report()["file"] = path_;
        const Result<Bytes> file = readImageFile(path_);
        if (!file) {
            terminal.failed(file.failure());
            return static_cast<int>(file.failure().code);
        }
        show(terminal, *file);
        std::vector<Record> records;
        const StatusCode rc = parseImage(*file, records);
        if (rc != status::kOk) {
            terminal.failed({rc, std::string(statusMessage(rc))});
        } else {
            valid(terminal, *file, records);
        }
        return static_cast<int>(rc);
    }

    virtual void show(Terminal& terminal, const Bytes& image) = 0;
    virtual void valid(Terminal& terminal, const Bytes&, const std::vector<Record>&) {
        terminal.out(statusMessage(status::kOk));
    }

    std::string path_;
};

class CheckVerb : public ImageVerb {
public:
    explicit CheckVerb(CLI::App& app) : ImageVerb(app, "check", "Validate an update image") {}

private:
    void show(Terminal&, const Bytes&) override {}
    // What was found, rather than a bare "No error".
    void valid(Terminal& terminal, const Bytes& image,
               const std::vector<Record>& records) override {
        size_t areas = 0, bytes = 0;
        for (const Record& r : records) {
            if (r.type != RecordType::Area) continue;
            ++areas;
            bytes += r.data.size();
        }
        // The end marker is not counted as a record.
        const auto count = [](size_t n, const char* one, const char* many) {
            return std::to_string(n) + " " + (n == 1 ? one : many);
        };
        auto& report = terminal.report();
        report["bytes"] = image.size();
        report["records"] = records.size() - 1;
        report["areas"] = areas;
        report["areaBytes"] = bytes;
        terminal.out(path_ + ": a valid image of " + std::to_string(image.size()) + " bytes, " +
                     count(records.size() - 1, "record", "records") + ", " +
                     count(areas, "area", "areas") + " with " + std::to_string(bytes) +
                     " bytes to write");
    }
};

class InfoVerb : public ImageVerb {
public:
    explicit InfoVerb(CLI::App& app)
        : ImageVerb(app, "info", "List an update image's records and checksum") {}

private:
    void show(Terminal& terminal, const Bytes& image) override {
        for (const std::string& line : describeImage(path_, image)) terminal.out(line);
        terminal.report()["bytes"] = image.size();
        if (image.size() >= kImageHeaderSize) {
            const uint16_t stored = storedChecksum(image);
            terminal.report()["checksum"] = {
                {"stored", stored},
                {"computed", crc16Arc(ByteView(image).subspan(kImageHeaderSize))}};
        }
    }
    // The listing says it all; a "No error" after it would only stand where a fault would.
    void valid(Terminal& terminal, const Bytes&, const std::vector<Record>& records) override {
        auto list = nlohmann::json::array();
        for (const Record& r : records) {
            switch (r.type) {
                case RecordType::Control:
                    list.push_back({{"type", "control"}, {"code", r.operand}});
                    break;
                case RecordType::Delay:
                    list.push_back({{"type", "delay"}, {"tenths", r.operand}});
                    break;
                case RecordType::Skip:
                    list.push_back({{"type", "skip"}});
                    break;
                case RecordType::Area: {
                    const std::optional<Version> v = areaVersion(r);
                    list.push_back({{"type", "area"},
                                    {"bytes", r.data.size()},
                                    {"version", v ? nlohmann::json(versionText(*v)) : nullptr}});
                    break;
                }
                case RecordType::End:
                    break;
            }
        }
        terminal.report()["records"] = list;
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
                    ->allow_extra_args(false)
                    ->check([](const std::string& given) {
                        const std::optional<std::string> version = splitArea(given).version;
                        if (!version) return std::string();
                        const Result<Version> parsed = parseVersion(*version);
                        return parsed ? std::string() : parsed.failure().text;
                    });
        delay_ =
            command_->add_option("--delay", delays_, "a pause of N tenths of a second (0 to 255)")
                ->allow_extra_args(false)
                ->check(CLI::Range(0u, 255u));
        control_ =
            command_->add_option("--control", controls_, "a control request with CODE (0 to 3)")
                ->allow_extra_args(false)
                ->check(CLI::Range(0u, 3u));
        skip_ = command_->add_flag("--skip", skips_, "a record that does nothing");
    }

    int run(Terminal& terminal) override {
        ImageBuilder builder;
        std::map<const CLI::Option*, size_t> used;
        for (const CLI::Option* option : command_->parse_order()) {
            const size_t i = used[option]++;
            Outcome added;
            if (option == area_) {
                added = addArea(builder, areas_.at(i));
            } else if (option == delay_) {
                added = builder.addDelay(delays_.at(i));
            } else if (option == control_) {
                added = builder.addControl(controls_.at(i));
            } else if (option == skip_) {
                builder.addSkip();
            }
            if (!added) {
                terminal.failed(added.failure());
                return 1;
            }
        }
        const Bytes image = builder.finish();
        if (const Outcome written = replaceFile(out_, image, MissingFolders::Refuse); !written) {
            terminal.failed(written.failure());
            return static_cast<int>(written.failure().code);
        }
        terminal.out("Wrote " + out_ + " (" + std::to_string(image.size()) + " bytes)");
        return 0;
    }

private:
    struct AreaArgument {
        std::string path;
        std::optional<std::string> version;
    };
    // FILE or FILE:MAJOR.MINOR. A colon followed by anything but a version belongs to
    // the name (C:\\...).
    static AreaArgument splitArea(const std::string& given) {
        if (const size_t colon = given.rfind(':'); colon != std::string::npos && colon > 0) {
            const std::string tail = given.substr(colon + 1);
            if (tail.find('.') != std::string::npos &&
                std::isdigit(static_cast<unsigned char>(tail.front()))) {
                return {given.substr(0, colon), tail};
            }
        }
        return {given, std::nullopt};
    }

    // The version has been checked with the command line.
    static Outcome addArea(ImageBuilder& builder, const std::string& given) {
        const AreaArgument area = splitArea(given);
        const std::string& path = area.path;
        Version version{kNeverAskVersion, kNeverAskVersion};
        if (area.version) {
            const Result<Version> parsed = parseVersion(*area.version);
            if (!parsed) return parsed.failure();
            version = *parsed;
        }
        const Result<Bytes> file = readImageFile(path);
        if (!file) return file.failure();
        Outcome added = builder.addArea(*file, version.major, version.minor);
        if (!added) return Failure{added.failure().code, path + ": " + added.failure().text};
        return added;
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
