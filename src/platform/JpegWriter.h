#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

// JPEG encoding of snapshots. quality is clamped to 1..100.

// The JPEG bytes of image, or an empty array (with the reason in *error) when there is no
// image or the encoder fails. Any QImage format is accepted; alpha is dropped.
QByteArray EncodeJpeg(const QImage &image, int quality, QString *error = nullptr);

// Writes image as a JPEG file at path: the folder is created when missing, the file is written
// through AtomicFile (checked, synchronised to the disk, renamed), so a reader never sees half
// a picture and a failure - a full disk included - leaves an earlier file intact. False with a
// message naming the file and the reason in *error when it cannot be done.
bool WriteJpegFile(const QImage &image, const QString &path, int quality, QString *error = nullptr);
