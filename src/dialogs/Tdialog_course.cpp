#include "dialogs/Tdialog_course.h"

#include "base/Globals.h"
#include "core/TDM.h"
#include "platform/ErrorReport.h"
#include "platform/Prompter.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

Tdialog_course::Tdialog_course(TDM &dm, const CourseChoiceRequest &request, QWidget *parent)
    : QDialog(parent)
    , m_dm(dm)
    , m_request(request)
{
    m_choice.Result = CourseChoiceAbort();
    setObjectName(u"dialog_course"_s);
    setWindowTitle(u"課程選擇"_s);

    Label1 = new QLabel(this);
    Label1->setObjectName(u"Label1"_s);
    ComboBox1 = new QComboBox(this);
    ComboBox1->setObjectName(u"ComboBox1"_s);
    ComboBox1->setEditable(true);
    ComboBox1->setInsertPolicy(QComboBox::NoInsert);
    ComboBox1->setMinimumContentsLength(36);
    // The dialog widens to its longest lesson line, and a chosen line shows from its start: the
    // course code is what tells two lessons of a day apart.
    ComboBox1->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    connect(ComboBox1, &QComboBox::currentIndexChanged, this,
            [this] { ComboBox1->lineEdit()->setCursorPosition(0); });

    BitBtnOK = new QPushButton(u"OK"_s, this);
    BitBtnOK->setObjectName(u"BitBtnOK"_s);
    BitBtnOK->setDefault(true);
    BitBtnCancel = new QPushButton(u"取消"_s, this);
    BitBtnCancel->setObjectName(u"BitBtnCancel"_s);
    BitBtnCancel->setAutoDefault(false);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BitBtnOK);
    buttons->addWidget(BitBtnCancel);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(ComboBox1);
    layout->addStretch();
    layout->addLayout(buttons);

    connect(BitBtnOK, &QPushButton::clicked, this, &Tdialog_course::BitBtnOKClick);
    connect(BitBtnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void Tdialog_course::showEvent(QShowEvent *event)
{
    m_choice.Result = CourseChoiceAbort();
    Label1->setText(CourseChoiceCaption(m_request.firstDay, m_request.lastDay));
    ComboBox1->clear();
    GuardAction([this] { ComboBox1->addItems(CourseChoiceLines(m_dm.Con1(), m_request.classKey)); });
    ComboBox1->setCurrentIndex(-1);
    ComboBox1->setEditText(CourseChoicePrompt());
    // The lines are known only now: the dialog takes the width of the longest.
    layout()->activate();
    resize(qMax(width(), sizeHint().width()), height());
    QDialog::showEvent(event);
}

void Tdialog_course::BitBtnOKClick()
{
    if (!IsCourseChoiceMade(ComboBox1->currentText())) {
        CurrentPrompter().ShowMessage(CourseChoicePrompt());
        ComboBox1->setFocus();
        return;
    }
    m_choice = ChooseCourseLine(ComboBox1->currentText(), m_request.classKey, G().CourseNoLength);
    accept();
}
