#include "ui/recipeform.h"

#include "console/recipelogic.h"
#include "frame/program.h"
#include "ui/dialogs.h"
#include "ui/screenfit.h"
#include "ui/textedge.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace qelp::ui {

namespace {

QLabel* AddLabelled(QGridLayout* grid, int row, int column, const char* labelText, QWidget* field,
                    const char* name) {
    auto* label = new QLabel(QString::fromLatin1(labelText));
    field->setObjectName(QString::fromLatin1(name));
    field->setAccessibleName(label->text());
    label->setBuddy(field);
    grid->addWidget(label, row, column);
    grid->addWidget(field, row, column + 1);
    return label;
}

QComboBox* MakeCombo(bool editable) {
    auto* combo = new QComboBox;
    combo->setEditable(editable);
    if (editable) {
        // Typed text is stored as typed: never added to the list, never completed to an item
        // (a typed "No" must stay "No", not become "No Move").
        combo->setInsertPolicy(QComboBox::NoInsert);
        combo->setCompleter(nullptr);
    }
    return combo;
}

QCheckBox* MakeCheck(const char* name, const char* caption) {
    auto* box = new QCheckBox(QString::fromLatin1(caption));
    box->setObjectName(QString::fromLatin1(name));
    box->setAccessibleName(box->text());
    return box;
}

QPushButton* MakeButton(const char* name, const char* caption) {
    auto* button = new QPushButton(QString::fromLatin1(caption));
    button->setObjectName(QString::fromLatin1(name));
    button->setAccessibleName(button->text());
    // Enter in a text box must not press a button behind the operator's back.
    button->setAutoDefault(false);
    return button;
}

// Clears and refills a list. Afterwards nothing is selected and an editable box shows no
// text: clearing a list also empties its text.
template <typename Texts> void Refill(QComboBox* combo, const Texts& texts) {
    combo->clear();
    for (const auto& text : texts)
        combo->addItem(FromCore(text));
    combo->setCurrentIndex(-1);
    if (combo->isEditable())
        combo->clearEditText();
}

} // namespace

RecipeForm::RecipeForm(Program& program, Dialogs& dialogs, QWidget* parent)
    : QDialog(parent), m_program(program), m_dialogs(dialogs) {
    setObjectName(QStringLiteral("RecipeForm"));
    setWindowTitle(QStringLiteral("Compose a Recipe!"));
    setModal(true);

    m_utype = MakeCombo(false);
    m_usize = new QLineEdit;
    m_ufract = new QLineEdit;
    m_numCans = new QLineEdit;
    m_prod = MakeCombo(true);
    m_base = MakeCombo(true);
    m_canType = MakeCombo(false);
    m_noCanHeightCheck = MakeCheck("Check1", "Dont use Can Height");
    m_shelfPre = MakeCombo(true);
    m_shelfDose = MakeCombo(true);
    m_shelfPost = MakeCombo(true);
    m_shelfCheck = MakeCheck("ShelfCheck", "Use Shelf");
    m_punchCheck = MakeCheck("PunchCheck", "Send Punch");
    m_punchSel = MakeCombo(false);
    m_checkColName = MakeCheck("CheckColName", "Send Colorant Names");

    // The header fields in a left column, "Dont use Can Height" beside the can type.
    auto* header = new QGridLayout;
    AddLabelled(header, 0, 0, "UnitType", m_utype, "Utype");
    AddLabelled(header, 1, 0, "UnitSize", m_usize, "Usize");
    AddLabelled(header, 2, 0, "UnitFraction", m_ufract, "UFract");
    AddLabelled(header, 3, 0, "Number Of Cans", m_numCans, "NumCans");
    AddLabelled(header, 4, 0, "Product", m_prod, "Prod");
    AddLabelled(header, 5, 0, "BasePaint", m_base, "Base");
    AddLabelled(header, 6, 0, "Cantype", m_canType, "CanType");
    header->addWidget(m_noCanHeightCheck, 6, 2);

    // The shelf and punch options in a right column.
    auto* options = new QGridLayout;
    AddLabelled(options, 0, 0, "ShelfPre", m_shelfPre, "ShelfPre");
    AddLabelled(options, 1, 0, "ShelfDose", m_shelfDose, "ShelfDose");
    AddLabelled(options, 2, 0, "ShelfPost", m_shelfPost, "ShelfPost");
    options->addWidget(m_shelfCheck, 3, 1);
    options->addWidget(m_punchCheck, 4, 1);
    AddLabelled(options, 5, 0, "PunchType", m_punchSel, "PunchSel");
    options->setRowStretch(6, 1);

    auto* frame = new QGroupBox(QStringLiteral("Recipe"));
    frame->setObjectName(QStringLiteral("Frame1"));
    m_recipe = new QLabel;
    m_recipe->setObjectName(QStringLiteral("Recipe"));
    m_recipe->setTextFormat(Qt::PlainText);
    m_recipe->setWordWrap(true);
    m_recipe->setMinimumHeight(fontMetrics().lineSpacing() * 3);
    m_recipe->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // Read by its text (showRecipe keeps the name); the frame's caption says what it is.
    m_recipe->setAccessibleDescription(frame->title());
    m_paste = MakeCombo(false);
    m_pasteAmount = new QLineEdit;
    QPushButton* addButton = MakeButton("CommandAdd", "Add");
    QPushButton* clearButton = MakeButton("CommandClear", "Clear");
    auto* frameLayout = new QGridLayout(frame);
    frameLayout->addWidget(m_recipe, 0, 0, 1, 4);
    AddLabelled(frameLayout, 1, 0, "Colorant:", m_paste, "Paste");
    AddLabelled(frameLayout, 2, 0, "Amount:", m_pasteAmount, "PasteAmount");
    frameLayout->addWidget(addButton, 1, 2);
    frameLayout->addWidget(clearButton, 2, 2);
    frameLayout->setColumnStretch(1, 1);

    QPushButton* exitButton = MakeButton("CommandExit", "Save + Exit");
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_checkColName);
    bottom->addStretch(1);
    bottom->addWidget(exitButton);

    auto* columns = new QHBoxLayout;
    columns->addLayout(header, 1);
    columns->addSpacing(fontMetrics().averageCharWidth() * 3);
    columns->addLayout(options, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(columns);
    layout->addWidget(frame, 1);
    layout->addLayout(bottom);

    QWidget* tabOrder[] = {m_utype,
                           m_usize,
                           m_ufract,
                           m_numCans,
                           m_prod,
                           m_base,
                           m_canType,
                           m_paste,
                           m_pasteAmount,
                           addButton,
                           clearButton,
                           exitButton,
                           m_noCanHeightCheck,
                           m_shelfPre,
                           m_shelfDose,
                           m_shelfPost,
                           m_shelfCheck,
                           m_punchCheck,
                           m_punchSel,
                           m_checkColName};
    for (size_t i = 0; i + 1 < std::size(tabOrder); ++i)
        setTabOrder(tabOrder[i], tabOrder[i + 1]);

    connect(addButton, &QPushButton::clicked, this, &RecipeForm::add);
    connect(clearButton, &QPushButton::clicked, this, &RecipeForm::clear);
    connect(exitButton, &QPushButton::clicked, this, &RecipeForm::saveAndExit);
}

void RecipeForm::openModal() {
    fillControls();
    FitToScreen(this);
    exec();
}

void RecipeForm::fillControls() {
    Refill(m_utype, kUnitTypes);
    Refill(m_prod, kProducts);
    Refill(m_base, kBasePaints);
    Refill(m_canType, kCanTypes);
    m_recipe->clear();
    std::vector<std::string> names;
    for (const CanisterState& c : m_program.canisters.canisterTable)
        names.push_back(c.colorantName);
    Refill(m_paste, names);
    m_pasteAmount->clear();
    std::vector<std::string> shelfTexts;
    for (int32_t value : kShelfListValues)
        shelfTexts.push_back(ShelfMoveText(value));
    for (QComboBox* shelf : {m_shelfPre, m_shelfDose, m_shelfPost})
        Refill(shelf, shelfTexts);
    std::vector<std::string> punchTexts;
    for (int32_t value : kPunchListValues)
        punchTexts.push_back(PunchModeText(value));
    Refill(m_punchSel, punchTexts);

    const RecipeScreenValues v = LoadRecipeScreen(m_program);
    m_utype->setCurrentIndex(v.unitTypeIndex);
    m_usize->setText(FromCore(v.unitSize));
    m_ufract->setText(FromCore(v.unitFraction));
    m_numCans->setText(FromCore(v.numberOfCans));
    m_prod->setEditText(FromCore(v.product));
    m_base->setEditText(FromCore(v.basePaint));
    m_canType->setCurrentIndex(v.canTypeIndex);
    m_noCanHeightCheck->setChecked(v.noCanHeight);
    m_shelfPre->setEditText(FromCore(v.shelfPre));
    m_shelfDose->setEditText(FromCore(v.shelfDose));
    m_shelfPost->setEditText(FromCore(v.shelfPost));
    m_shelfCheck->setChecked(v.useShelf);
    m_punchSel->setCurrentIndex(v.punchIndex);
    m_punchCheck->setChecked(v.sendPunch);
    m_checkColName->setChecked(v.sendColorantNames);
    showRecipe();
}

void RecipeForm::showRecipe() {
    m_recipe->setText(
        FromCore(RecipeText(m_program.recipe.recipeColorants, m_program.session.decimalSeparator)));
    m_recipe->setAccessibleName(m_recipe->text());
}

void RecipeForm::add() {
    const std::string amountText = ToCore(m_pasteAmount->text());
    if (AddRecipeColorant(m_program, ToCore(m_paste->currentText()), amountText) ==
        AddOutcome::InvalidAmount)
        m_dialogs.messageBox(this, FromCore(InvalidAmountMessage(amountText)));
    showRecipe();
}

void RecipeForm::clear() {
    m_program.recipe.recipeColorants.clear();
    showRecipe();
}

RecipeScreenValues RecipeForm::collect() const {
    RecipeScreenValues v;
    v.unitTypeIndex = m_utype->currentIndex();
    v.unitSize = ToCore(m_usize->text());
    v.unitFraction = ToCore(m_ufract->text());
    v.numberOfCans = ToCore(m_numCans->text());
    v.product = ToCore(m_prod->currentText());
    v.basePaint = ToCore(m_base->currentText());
    v.canTypeIndex = m_canType->currentIndex();
    v.noCanHeight = m_noCanHeightCheck->isChecked();
    v.shelfPre = ToCore(m_shelfPre->currentText());
    v.shelfDose = ToCore(m_shelfDose->currentText());
    v.shelfPost = ToCore(m_shelfPost->currentText());
    v.useShelf = m_shelfCheck->isChecked();
    v.sendPunch = m_punchCheck->isChecked();
    v.punchIndex = m_punchSel->currentIndex();
    v.sendColorantNames = m_checkColName->isChecked();
    return v;
}

void RecipeForm::saveAndExit() {
    for (const std::string& message : SaveRecipeScreen(m_program, collect()))
        m_dialogs.messageBox(this, FromCore(message));
    accept();
}

} // namespace qelp::ui
