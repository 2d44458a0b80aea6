#pragma once
// RecipeForm, "Compose a Recipe!": the modal screen on which the one dispensable recipe is
// composed. "Add" and "Clear" change the colorant lines at once; the header and the dosing
// options are stored only by "Save + Exit".
#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

namespace qelp {
class Program;
struct RecipeScreenValues;
} // namespace qelp

namespace qelp::ui {

class Dialogs;

class RecipeForm : public QDialog {
    Q_OBJECT
public:
    RecipeForm(Program& program, Dialogs& dialogs, QWidget* parent);

    // Fills the controls from the stored recipe and shows the screen modally; returns when
    // it has closed.
    void openModal();
    // Fills the controls from the stored recipe (done by openModal; tests and the tour call
    // it to look at the screen without a modal loop).
    void fillControls();

private slots:
    void add();
    void clear();
    void saveAndExit();

private:
    void showRecipe();
    RecipeScreenValues collect() const;

    Program& m_program;
    Dialogs& m_dialogs;
    QComboBox* m_utype = nullptr;
    QLineEdit* m_usize = nullptr;
    QLineEdit* m_ufract = nullptr;
    QLineEdit* m_numCans = nullptr;
    QComboBox* m_prod = nullptr;
    QComboBox* m_base = nullptr;
    QComboBox* m_canType = nullptr;
    QLabel* m_recipe = nullptr;
    QComboBox* m_paste = nullptr;
    QLineEdit* m_pasteAmount = nullptr;
    QCheckBox* m_noCanHeightCheck = nullptr;
    QComboBox* m_shelfPre = nullptr;
    QComboBox* m_shelfDose = nullptr;
    QComboBox* m_shelfPost = nullptr;
    QCheckBox* m_shelfCheck = nullptr;
    QCheckBox* m_punchCheck = nullptr;
    QComboBox* m_punchSel = nullptr;
    QCheckBox* m_checkColName = nullptr;
};

} // namespace qelp::ui
