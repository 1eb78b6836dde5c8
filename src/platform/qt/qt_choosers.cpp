// SPDX-License-Identifier: MIT
#include "platform/qt/qt_choosers.h"

#include <QApplication>
#include <QColorDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace velmora::qt {
namespace {

QString patternsOf(const std::string& pattern) {
    QStringList patterns;
    for (const QString& one : QString::fromStdString(pattern).split(u';')) {
        const QString trimmed = one.trimmed();
        if (trimmed.isEmpty()) continue;
        // "*.*" means every file, also one without a dot in its name.
        patterns << (trimmed == QStringLiteral("*.*") ? QStringLiteral("*") : trimmed);
    }
    return patterns.join(u' ');
}

}  // namespace

QStringList nameFilters(const std::vector<platform::FileFilter>& filters) {
    QStringList result;
    for (const platform::FileFilter& filter : filters)
        result << QString::fromStdString(filter.description) + QStringLiteral(" (") +
                      patternsOf(filter.pattern) + QLatin1Char(')');
    return result;
}

ChooserStart chooserStart(const std::string& initialFolder, const std::string& initialName) {
    ChooserStart start;
    if (!initialFolder.empty()) {
        const QFileInfo folder(QString::fromStdString(initialFolder));
        if (folder.isDir()) {
            start.folder = folder.absoluteFilePath();
        } else if (QFileInfo(folder.absolutePath()).isDir()) {
            // A path naming a file (the stored full path): open beside it, with it selected.
            start.folder = folder.absolutePath();
            if (folder.isFile()) start.file = folder.fileName();
        }
    }
    if (!initialName.empty()) start.file = QString::fromStdString(initialName);
    return start;
}

QColor qColourOf(Colour colour) {
    return QColor(redOf(colour), greenOf(colour), blueOf(colour));
}

Colour colourOf(const QColor& colour) {
    const QColor rgb = colour.toRgb();
    return velmora::rgb(rgb.red(), rgb.green(), rgb.blue());
}

std::optional<platform::FileChoice> QtChoosers::chooseFile(const platform::FileRequest& request) {
    QFileDialog dialog(QApplication::activeWindow(), QStringLiteral("Open"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // Any name may be typed, as the dialog keeps only the name and path it is given; Qt's chooser
    // has no read-only choice to hide.
    dialog.setFileMode(QFileDialog::AnyFile);
    // The list shows each description as given; the patterns Qt needs stay out of sight.
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    const QStringList filters = nameFilters(request.filters);
    dialog.setNameFilters(filters);
    const int selected = request.selectedFilter - 1;  // counts from 1
    if (selected >= 0 && selected < filters.size()) dialog.selectNameFilter(filters[selected]);
    const ChooserStart start = chooserStart(request.initialFolder, request.initialName);
    if (!start.folder.isEmpty()) dialog.setDirectory(start.folder);
    if (!start.file.isEmpty()) dialog.selectFile(start.file);

    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    const QString path = QDir::toNativeSeparators(dialog.selectedFiles().first());
    return platform::FileChoice{path.toStdString(), QFileInfo(path).fileName().toStdString()};
}

std::optional<Colour> QtChoosers::chooseColour(Colour initial, platform::ColourOptions options) {
    const QColor start = options.startOnInitial ? qColourOf(initial) : QColor(Qt::black);
    QColorDialog dialog(start, QApplication::activeWindow());
    dialog.setWindowTitle(QStringLiteral("Color"));
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return colourOf(dialog.selectedColor());
}

}  // namespace velmora::qt
