#include "Forms.h"

#include "uAbout.h"
#include "uDebug.h"
#include "uMain.h"
#include "uMessageBox.h"
#include "uUpdate.h"

#include "link/FirmwareUpdate.h"
#include "link/uComIo.h"
#include "uFileIo.h"

#include <QLabel>

TForms::TForms(const TStartOptions& options) {
    main_ = std::make_unique<TMain>(options);
    debug_ = std::make_unique<TDebug>();
    msgBox_ = std::make_unique<TMsgBox>();
    msgBox_->SetCentreWindow(main_.get());
    comIo_ = std::make_unique<TComIo>(*main_, main_->SimState(), main_->Image());
    firmwareUpdate_ = std::make_unique<FirmwareUpdate>(*comIo_, main_->Image());
    update_ = std::make_unique<TUpdateDialog>(*firmwareUpdate_, main_.get());
    about_ = std::make_unique<TAbout>(main_.get());
    about_->SetAppTitle(main_->Title());
    // Which settings file this run uses, for whoever wonders where they went.
    about_->setToolTip(QStringLiteral("Settings: ") + main_->SettingsFileName());
    fileIo_ = std::make_unique<TFileIo>(*main_, main_->Image().VersionWord());
    main_->Attach({comIo_.get(), update_.get(), msgBox_.get(), debug_.get(), about_.get(), fileIo_.get()});
}

TForms::~TForms() {
    fileIo_.reset();
    about_.reset();
    update_.reset();
    firmwareUpdate_.reset();
    main_->DetachLink();
    comIo_.reset();  // closes the port if it is still open
    msgBox_.reset();
    debug_.reset();
    main_.reset();
}
