#include "app/Routers.h"

#include "app/Glowny.h"
#include "app/ProfileCommands.h"
#include "settings/IniFile.h"
#include "settings/ProfileFiles.h"
#include "widgets/ErrorBox.h"

#include <QCoreApplication>
#include <QMessageBox>

#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <utility>

namespace veltrum {

namespace {

// Two spellings of one file (a relative path, a link) name the same router.
bool sameFile(const std::string& a, const std::string& b) {
    std::error_code ec;
    return std::filesystem::weakly_canonical(a, ec) == std::filesystem::weakly_canonical(b, ec);
}

} // namespace

TRouters::TRouters(RouterFolders folders) : m_folders(std::move(folders)) {}

TRouters::~TRouters() = default;

void TRouters::OpenAtStart(const std::vector<std::string>& profiles) {
    std::string refused;
    const auto open = [this, &refused](const std::string& profile) {
        try {
            Open(profile);
        } catch (const std::runtime_error& error) {
            refused += std::string(refused.empty() ? "" : "\n") + error.what();
        }
    };
    if (!profiles.empty()) {
        for (const std::string& profile : profiles) {
            open(profile);
        }
    } else {
        // The profile app.ini names opens as it always did; the others it
        // remembers open, those still there, beside it. A remembered set
        // without a current profile of its own (several --profile options
        // last time) opens alone: not beside the first start's defaults.
        const std::vector<std::string> remembered = RememberedProfiles(m_folders.Config);
        std::error_code ec;
        if (remembered.empty() || std::filesystem::exists(FindCurrentProfile(m_folders.Config), ec)) {
            open({});
        }
        for (const std::string& profile : remembered) {
            if (std::filesystem::exists(profile, ec)) {
                open(profile); // one already open is only shown
            }
        }
    }
    if (refused.empty()) {
        return;
    }
    // The others poll meanwhile; with none open, the program ends once the
    // user has read why.
    std::fprintf(stderr, "veltrum: %s\n", refused.c_str());
    auto* box = new QMessageBox(QMessageBox::Critical, QCoreApplication::applicationName(),
                                QString::fromStdString(refused), QMessageBox::Ok,
                                m_routers.empty() ? nullptr : &m_routers.front()->Glowny());
    box->setAttribute(Qt::WA_DeleteOnClose);
    if (m_routers.empty()) {
        connect(box, &QMessageBox::finished, this, &TRouters::AllClosed);
    }
    box->open();
}

TRouter& TRouters::Open(const std::string& chosenProfile) {
    // A profile already open is shown, not opened a second time: two routers
    // of one profile would poll and record the same interface twice.
    for (const auto& open : m_routers) {
        if (!chosenProfile.empty() && sameFile(open->State().ProfilePath, chosenProfile)) {
            open->ShowWindows();
            return *open;
        }
    }
    // A profile that cannot be read opens no router: one with every default
    // would poll an agent the user never named.
    const std::string path = chosenProfile.empty() ? FindCurrentProfile(m_folders.Config) : chosenProfile;
    if (const std::string why = IniFileRefusal(path); !why.empty()) {
        throw std::runtime_error("The profile " + path + " was not opened: " + why + ".");
    }
    RouterFolders folders = m_folders;
    const bool first = m_routers.empty();
    if (!first) {
        // One process keeps one place among the running copies: the first
        // router's. The others step around the program's own windows.
        folders.RunningCopies.clear();
    }
    // The router steps around the others' windows, never its own: a restart
    // (Settings, OK) leaves its window where it is.
    auto self = std::make_shared<const TRouter*>(nullptr);
    auto neighbours = [this, self] {
        std::vector<WindowArea> areas;
        for (const auto& router : m_routers) {
            if (router.get() != *self && router->Glowny().isVisible()) {
                areas.push_back(router->MainArea());
            }
        }
        return areas;
    };
    m_routers.push_back(std::make_unique<TRouter>(folders, chosenProfile, neighbours));
    TRouter* router = m_routers.back().get();
    *self = router;
    // app.ini's [Profil] keeps naming the first router's profile.
    router->SetNamesCurrentProfile(first);
    router->SetPollPhase(
        [this](const TRouter& asking) -> std::optional<std::chrono::steady_clock::time_point> {
            for (const auto& other : m_routers) {
                if (other.get() != &asking) {
                    if (const auto last = other->LastTick()) {
                        return last;
                    }
                }
            }
            return std::nullopt;
        });
    connect(router, &TRouter::Closed, this, [this, router] { closed(router); });
    connect(router, &TRouter::ExitAsked, this, &TRouters::ExitAll);
    connect(router, &TRouter::AnotherProfileAsked, this, [this, router] {
        RunGuarded(&router->Glowny(), [this, router] {
            const std::string path = AskForAnotherProfile(*router);
            if (!path.empty()) {
                Open(path);
            }
        });
    });
    router->Glowny().show();
    recordOpenProfiles();
    return *router;
}

void TRouters::closed(TRouter* router) {
    const auto found = std::find_if(m_routers.begin(), m_routers.end(),
                                    [router](const auto& r) { return r.get() == router; });
    if (found == m_routers.end()) {
        return;
    }
    // The router's main window is still inside its close: it goes once that
    // has returned.
    found->release()->deleteLater();
    m_routers.erase(found);
    if (m_routers.empty() || m_exiting) {
        if (!m_routers.empty()) {
            return; // Exit closes the others in turn
        }
        // The last one: app.ini keeps the profiles that were open with it.
        emit AllClosed();
        return;
    }
    m_routers.front()->SetNamesCurrentProfile(true);
    RunGuarded(nullptr, [this] { recordOpenProfiles(); });
}

void TRouters::ExitAll() {
    // The open set as it stands, for the next start; then each router's own
    // shutdown save as it closes.
    RunGuarded(nullptr, [this] { recordOpenProfiles(); });
    m_exiting = true;
    while (!m_routers.empty()) {
        m_routers.front()->Glowny().close();
    }
}

void TRouters::StopAll() noexcept {
    for (const auto& router : m_routers) {
        router->StopNow();
    }
}

void TRouters::recordOpenProfiles() {
    // A single router writes app.ini exactly as the program always did.
    if (m_routers.size() < 2 && !m_listed) {
        return;
    }
    std::vector<std::string> open;
    for (const auto& router : m_routers) {
        open.push_back(router->State().ProfilePath);
    }
    WriteOpenProfiles(m_folders.Config, open);
    m_listed = m_routers.size() > 1;
}

} // namespace veltrum
